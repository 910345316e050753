"""Imports one of the project's extension-less scripts as a module, so tests
can call its functions directly."""

import importlib.machinery
import os
import types

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def load_script(relative_path, name):
    path = os.path.join(ROOT, relative_path)
    module = types.ModuleType(name)
    module.__file__ = path
    importlib.machinery.SourceFileLoader(name, path).exec_module(module)
    return module
