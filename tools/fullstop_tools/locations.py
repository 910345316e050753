"""Where the parts the scripts use are, in a checkout or installed.

In a checkout this package is ROOT/tools/fullstop_tools; installed, it is
PREFIX/share/fullstop/tools/fullstop_tools, beside the helper scripts
(share/fullstop/scripts), the models (share/fullstop/*.model), their recipes
(share/fullstop/settings) and the training text that ships (share/fullstop/data/ud).
The Brown corpus never ships: installed, it is built into the user's cache."""

import os

TOOLS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HOME = os.path.dirname(TOOLS)
CHECKOUT = os.path.exists(os.path.join(HOME, "CMakeLists.txt"))
SCRIPTS = os.path.join(HOME, "scripts")

if CHECKOUT:
    MODELS = os.path.join(HOME, "models")
    SETTINGS = os.path.join(MODELS, "settings")
    CACHE = os.path.join(HOME, ".cache")
    BIN = os.path.join(HOME, "build")
    DATA = {"brown": os.path.join(HOME, "data", "brown"), "ud": os.path.join(HOME, "data", "ud")}
else:
    MODELS = HOME
    SETTINGS = os.path.join(HOME, "settings")
    CACHE = os.path.join(os.environ.get("XDG_CACHE_HOME") or
                         os.path.join(os.path.expanduser("~"), ".cache"), "fullstop")
    BIN = os.path.join(os.path.dirname(os.path.dirname(HOME)), "bin")
    DATA = {"brown": os.path.join(CACHE, "brown"), "ud": os.path.join(HOME, "data", "ud")}
