"""The package's modules import one another one way: no circle, counting the imports inside
functions, which run later but close a circle all the same."""
import ast
import os

import tavrel

PACKAGE = os.path.dirname(tavrel.__file__)


def _modules():
    """Module name -> source file; compiled modules (no source) map to None."""
    found = {}
    for folder, _, files in os.walk(PACKAGE):
        inner = os.path.relpath(folder, PACKAGE).replace(".", "")
        parts = ["tavrel", *filter(None, inner.split(os.sep))]
        for name in files:
            stem = name.split(".")[0]
            if name.endswith(".py"):
                module = parts if stem == "__init__" else parts + [stem]
                found[".".join(module)] = os.path.join(folder, name)
            elif name.endswith(".so"):
                found[".".join(parts + [stem])] = None
    return found


def _imported(module, path, modules):
    """The package's modules that `module` imports anywhere in its file."""
    package = module if path.endswith("__init__.py") else module.rpartition(".")[0]
    targets = set()
    for node in ast.walk(ast.parse(open(path, encoding="utf-8").read())):
        if isinstance(node, ast.Import):
            bases, names = [alias.name for alias in node.names], [None]
        elif isinstance(node, ast.ImportFrom):
            base = node.module or ""
            if node.level:
                up = package.split(".")[: len(package.split(".")) - node.level + 1]
                base = ".".join(up + ([node.module] if node.module else []))
            bases, names = [base], [alias.name for alias in node.names]
        else:
            continue
        for base in bases:
            for name in names:
                full = f"{base}.{name}" if name else base
                while full and full not in modules:
                    full = full.rpartition(".")[0]
                if full:
                    targets.add(full)
    targets.discard(module)
    return targets


def test_no_module_imports_itself_through_others():
    modules = _modules()
    graph = {m: _imported(m, p, modules) for m, p in modules.items() if p}
    assert "tavrel.figures.series" in graph and "tavrel" in graph["tavrel.figures.__main__"]
    done, path = set(), []

    def visit(module):
        if module in path:
            circle = path[path.index(module):] + [module]
            raise AssertionError("import circle: " + " -> ".join(circle))
        if module in done:
            return
        path.append(module)
        for target in sorted(graph.get(module, ())):
            visit(target)
        path.pop()
        done.add(module)

    for module in sorted(graph):
        visit(module)
