#!/usr/bin/env python3
"""Writes the release zip: the given files under their names in the archive, SHA256SUMS over
them, every entry sorted by name and stamped with the time of the last commit, so that two
builds of one commit give the same bytes.

Usage: make_package.py OUTPUT.zip SOURCE_DIR VERSION ARCH NAME=FILE...
Text files named *.txt are written with CRLF line ends for Windows editors; README.txt has
@VERSION@, @ARCH@ and @EXIT_STATUS@ (the exit statuses of kelvane-cli --help) filled in.
"""
import hashlib
import os
import re
import subprocess
import sys
import time
import zipfile


def last_commit_time(source_dir):
    # SOURCE_DATE_EPOCH first: a copy of the sources without git history sets it.
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        out = subprocess.run(["git", "-C", source_dir, "log", "-1", "--format=%ct"],
                             check=True, capture_output=True, text=True).stdout
        return int(out.strip())
    except (OSError, subprocess.CalledProcessError, ValueError):
        sys.exit("make_package: no git history in " + source_dir +
                 "; set SOURCE_DATE_EPOCH to the time of the sources' last commit")


def exit_statuses(source_dir):
    """The "Exit status:" block of kelvane-cli's usage text, indented as in the README."""
    with open(os.path.join(source_dir, "cli", "cli_options.cpp"), encoding="utf-8") as f:
        match = re.search(r"\nExit status:\n(.*?)\n\)\"", f.read(), re.S)
    if not match:
        sys.exit("make_package: no exit statuses in cli/cli_options.cpp")
    return match.group(1).rstrip("\n")


def contents(name, path, fill):
    with open(path, "rb") as f:
        data = f.read()
    if not name.endswith(".txt"):
        return data
    text = data.decode("utf-8")
    for key, value in fill.items():
        text = text.replace("@" + key + "@", value)
    if re.search(r"@[A-Z_]+@", text):
        sys.exit("make_package: " + name + " has a placeholder left")
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")


def add(archive, name, data, stamp):
    entry = zipfile.ZipInfo(name, date_time=stamp)
    entry.compress_type = zipfile.ZIP_DEFLATED
    entry.create_system = 0  # MS-DOS attributes: the archive is for Windows
    entry.external_attr = 0x20  # the archive bit, as Windows' own zip folders write
    archive.writestr(entry, data, compresslevel=9)


def main(argv):
    if len(argv) < 6:
        sys.exit(__doc__)
    output, source_dir, version, arch = argv[1:5]
    fill = {"VERSION": version, "ARCH": arch, "EXIT_STATUS": exit_statuses(source_dir)}
    files = {}
    for item in argv[5:]:
        name, _, path = item.partition("=")
        files[name] = contents(name, path, fill)
    # The zip format cannot hold times before 1980; DOS times carry no zone, so UTC.
    stamp = time.gmtime(max(last_commit_time(source_dir), 315532800))[:6]
    sums = "".join(hashlib.sha256(files[n]).hexdigest() + "  " + n + "\n" for n in sorted(files))
    files["SHA256SUMS"] = sums.encode("ascii")
    partial = output + ".part"
    with zipfile.ZipFile(partial, "w") as archive:
        for name in sorted(files):
            add(archive, name, files[name], stamp)
    os.replace(partial, output)


if __name__ == "__main__":
    main(sys.argv)
