"""Another build of the module, loaded beside the installed one for side-by-side timing."""

import importlib.machinery
import importlib.util


def load_build(path):
    """Loads the module from the shared object at path, under its own name but not into sys.modules."""
    loader = importlib.machinery.ExtensionFileLoader("_quorvane_rust", str(path))
    location = importlib.util.spec_from_file_location("_quorvane_rust", str(path), loader=loader)
    module = importlib.util.module_from_spec(location)
    loader.exec_module(module)
    return module
