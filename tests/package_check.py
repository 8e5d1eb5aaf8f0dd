#!/usr/bin/env python3
"""Checks that the packages setup installs are enough to build the project.

A fresh machine has only what setup.sh installs and what those packages pull
in. A header or library that comes from a package installed by hand here
builds fine on this machine and fails everywhere else, so every system file
the builds used is traced to its Debian package, and that package must lie in
the Depends/Pre-Depends closure of the packages setup names:

- the headers every object of each build included (ninja -t deps);
- the shared libraries the native programs and modules link (readelf -d NEEDED).

Usage: package_check.py --packages "P1 P2 ..." BUILD_DIR [BUILD_DIR ...]
Each BUILD_DIR may be followed by ":elf" to also check its programs' libraries.
Exit 0 when every file is covered, 1 naming each package that is not.
"""
import argparse
import os
import re
import subprocess
import sys


def run(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def system_headers(build_dir, source_dir):
    """Every header outside the source and build trees that some object of the build includes."""
    out = run("ninja", "-C", build_dir, "-t", "deps")
    found = set()
    for line in out.splitlines():
        if not line.startswith(" ") or not line.strip():
            continue
        path = line.strip()
        if not os.path.isabs(path):
            path = os.path.join(build_dir, path)
        path = os.path.normpath(path)
        if path.startswith(source_dir + os.sep):
            continue
        found.add(path)
    return found


def elf_files(build_dir):
    folder = os.path.join(build_dir, "bin")
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.isfile(path) and open(path, "rb").read(4) == b"\x7fELF":
            yield path


def linked_libraries(build_dir):
    """The files of the shared libraries the build's programs need, as the loader finds them
    (the first of its cache's entries for the program's width: x86-64, or plain libc6 for i386)."""
    cache = {}
    for line in run("ldconfig", "-p").splitlines()[1:]:
        m = re.match(r"\s*(\S+) \(([^)]*)\) => (\S+)", line)
        if m:
            width = 64 if "x86-64" in m.group(2) else 32 if m.group(2) in ("libc6", "ELF") else None
            cache.setdefault((m.group(1), width), m.group(3))
    found, missing = set(), set()
    for path in elf_files(build_dir):
        width = 64 if open(path, "rb").read(5)[4] == 2 else 32
        for m in re.finditer(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", run("readelf", "-d", path)):
            key = (m.group(1), width)
            if key in cache:
                found.add(cache[key])
            else:
                missing.add(m.group(1))
    return found, missing


def spellings(path):
    """The names dpkg may know a file by: as given, resolved, and with or without /usr
    (merged /usr: dpkg records some files under /lib, others under /usr/lib)."""
    names = [path, os.path.realpath(path)]
    for p in list(names):
        if p.startswith(("/usr/lib/", "/usr/bin/")):
            names.append(p[len("/usr"):])
        elif p.startswith(("/lib/", "/lib64/", "/bin/")):
            names.append("/usr" + p)
    return list(dict.fromkeys(names))


def dpkg_search(paths):
    """dpkg -S on many paths at once: path -> owning package names (architecture stripped)."""
    found = {}
    paths = sorted(paths)
    for start in range(0, len(paths), 200):
        proc = subprocess.run(["dpkg", "-S"] + paths[start:start + 200], capture_output=True, text=True)
        for line in proc.stdout.splitlines():
            if line.startswith("diversion ") or ": " not in line:
                continue
            names, path = line.rsplit(": ", 1)
            found[path] = sorted({n.strip().split(":")[0] for n in names.split(",")})
    return found


def owners(paths):
    """The package owning each path, or None."""
    tries = {path: spellings(path) for path in paths}
    found = dpkg_search({s for names in tries.values() for s in names})
    return {path: next((found[s] for s in names if s in found), None) for path, names in tries.items()}


def installed_packages():
    """name -> (dependency groups, provided names) of every installed package."""
    fmt = "${Package}\t${Status}\t${Depends}\t${Pre-Depends}\t${Provides}\n"
    packages, providers = {}, {}
    for line in run("dpkg-query", "-W", "-f=" + fmt).splitlines():
        name, status, depends, pre_depends, provides = (line.split("\t") + [""] * 5)[:5]
        if not status.endswith(" installed"):
            continue
        groups = []
        for field in (depends, pre_depends):
            for group in filter(None, (g.strip() for g in field.split(","))):
                groups.append([bare(alt) for alt in group.split("|")])
        packages[name] = groups
        for p in filter(None, (p.strip() for p in provides.split(","))):
            providers.setdefault(bare(p), set()).add(name)
    return packages, providers


def bare(dependency):
    """A dependency's package name, without version, architecture qualifier or spaces."""
    return re.split(r"[\s(:]", dependency.strip(), maxsplit=1)[0]


def closure(roots, packages, providers):
    """Every package installing `roots` brings: for alternatives, the first one that is
    installed here (as apt takes the first that can be had); a virtual name, by its providers."""
    seen, todo = set(), [bare(r) for r in roots]
    while todo:
        name = todo.pop()
        if name in seen:
            continue
        seen.add(name)
        for group in packages.get(name, []):
            for alt in group:
                if alt in packages:
                    todo.append(alt)
                    break
                if alt in providers:
                    todo.extend(providers[alt])
                    break
        for provider in providers.get(name, ()) if name not in packages else ():
            todo.append(provider)
    return seen


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--packages", required=True)
    parser.add_argument("--source", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser.add_argument("builds", nargs="+")
    args = parser.parse_args()
    source_dir = os.path.realpath(args.source)

    files, unresolved = {}, []
    for spec in args.builds:
        build_dir, _, what = spec.partition(":")
        build_dir = os.path.realpath(build_dir)
        name = os.path.basename(build_dir)
        for path in system_headers(build_dir, source_dir):
            files.setdefault(path, name)
        if what == "elf":
            libraries, missing = linked_libraries(build_dir)
            unresolved += [f"{name}: no library file found for {s}" for s in sorted(missing)]
            for path in libraries:
                files.setdefault(path, name)

    packages, providers = installed_packages()
    allowed = closure(args.packages.split(), packages, providers)
    problems = list(unresolved)
    by_package = {}
    for path, owner in owners(files).items():
        if owner is None:
            problems.append(f"{files[path]}: {path} belongs to no package")
        elif not any(o in allowed for o in owner):
            by_package.setdefault(" or ".join(owner), []).append(f"{files[path]}: {path}")
    for package, uses in sorted(by_package.items()):
        problems.append(f"package {package} is used but setup does not install it "
                        f"(nor anything it installs): {uses[0]}"
                        + (f" and {len(uses) - 1} more files" if len(uses) > 1 else ""))
    for p in problems:
        print(p)
    print(f"{len(files)} system files checked against {len(allowed)} packages: "
          f"{'all covered' if not problems else f'{len(problems)} problems'}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
