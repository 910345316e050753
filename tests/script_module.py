"""Imports one of the project's extension-less scripts as a module, so tests
can call its functions directly."""

import importlib.machinery
import importlib.util
import os

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


def load_script(relative_path, name):
    path = os.path.join(ROOT, relative_path)
    loader = importlib.machinery.SourceFileLoader(name, path)
    spec = importlib.util.spec_from_loader(name, loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module
