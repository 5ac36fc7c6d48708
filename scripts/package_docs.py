#!/usr/bin/env python3
"""Writes what a package says about itself beside the binaries: the license texts and,
for the .deb, Debian's machine-readable copyright file and the changelog.

Usage: package_docs.py OUT PROJECT_LICENSE NEWS VERSION MAINTAINER [LICENSES_DIR COMPONENTS_TSV]

OUT receives:
  copyright      Debian's machine-readable copyright file: the project's own paragraph,
                 then one paragraph per bundled component with the copyright lines of
                 Debian's debian/copyright for it and its license text, both as
                 scripts/deps.sh took them from the component's sources (LICENSES_DIR).
                 Apache-2.0 points at /usr/share/common-licenses, as Debian's own
                 copyright files do; its text and the NOTICE files travel in licenses/.
  changelog.gz   NEWS.md as a Debian changelog, compressed without a time stamp.
Without LICENSES_DIR (a build against the system's libraries) only the project's
paragraph is written. A component of COMPONENTS_TSV without its debian-copyright or its
upstream license text in LICENSES_DIR stops the script with an error. The changelog's date is SOURCE_DATE_EPOCH.
"""
import email.utils
import gzip
import os
import re
import sys

# Licenses whose text Debian keeps in /usr/share/common-licenses.
COMMON = {"Apache-2.0": "Apache-2.0"}
UPSTREAM = re.compile(r"^(licen[cs]e|copying|copyright)", re.IGNORECASE)


def indented(text):
    """A text as the body of a copyright field: each line after a blank, "." for an empty one."""
    lines = [line.rstrip() for line in text.strip("\n").splitlines()]
    return "\n".join(f" {line}" if line.strip() else " ." for line in lines)


def debian_copyright_lines(path):
    """The Copyright field of the first "Files: *" paragraph of a debian/copyright file;
    none when there is no such file or field."""
    if not os.path.exists(path):
        return []
    text = open(path, encoding="utf-8", errors="replace").read()
    for paragraph in re.split(r"\n\s*\n", text):
        if re.search(r"^Files:\s*\*\s*$", paragraph, re.MULTILINE):
            found = re.search(r"^Copyright:(.*(?:\n[ \t].*)*)", paragraph, re.MULTILINE)
            if found:
                return [line.strip() for line in found.group(1).splitlines() if line.strip()]
    return []


def notice_copyright_lines(folder, files):
    """The lines of the upstream NOTICE files that begin with "Copyright", without it."""
    lines = []
    for notice in (f for f in files if f.upper().startswith("NOTICE")):
        for line in open(os.path.join(folder, notice), encoding="utf-8", errors="replace"):
            if line.startswith("Copyright "):
                lines.append(line.removeprefix("Copyright ").strip())
    return lines


def component_paragraph(name, spdx, folder):
    """The component's paragraph. Its copyright lines come from Debian's debian/copyright
    or else the upstream NOTICE, its license text from the upstream release's license file;
    either missing stops the script, so that nothing here is typed by hand."""
    files = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
    upstream = [f for f in files if UPSTREAM.match(f)]
    holders = debian_copyright_lines(os.path.join(folder, "debian-copyright"))
    if not holders:  # a debian/copyright of the older, free form: the NOTICE says it
        holders = notice_copyright_lines(folder, files)
    if not holders or not upstream:
        sys.exit(f"package_docs.py: {name} lacks its debian-copyright or its upstream "
                 f"license text in {folder}")
    if spdx in COMMON:
        body = (f"On Debian systems, the full text of this license is in "
                f"/usr/share/common-licenses/{COMMON[spdx]}; it and the component's notices "
                f"travel in /opt/corvane/licenses/{name}/.")
    else:
        body = open(os.path.join(folder, upstream[0]), encoding="utf-8", errors="replace").read()
    return (f"Files: licenses/{name}/*\n"
            f"Copyright: {holders[0]}\n" + "".join(f" {line}\n" for line in holders[1:]) +
            f"License: {spdx}\n{indented(body)}\n"
            f"Comment: {name}, built into the program's binaries; every text its sources\n"
            f" carry is in /opt/corvane/licenses/{name}/.\n")


def project_paragraph(text):
    """The project's own paragraph: its copyright line and its LICENSE as the text."""
    holder = next(line for line in text.splitlines() if line.startswith("Copyright "))
    return (f"Files: *\nCopyright: {holder.removeprefix('Copyright ').strip()}\n"
            f"License: LicenseRef-Corvane\n{indented(text)}\n")


def changelog(news, version, maintainer, when):
    """NEWS.md's bullets as one Debian changelog entry for version."""
    items, current = [], None
    for line in open(news, encoding="utf-8"):
        if line.startswith("## ") and items:
            break
        if line.startswith("- "):
            current = [line[2:].strip()]
            items.append(current)
        elif line.startswith("  ") and current is not None and line.strip():
            current.append(line.strip())
        elif not line.strip():
            current = None
    entries = []
    for item in items:
        words, lines = " ".join(item).split(), [""]
        for word in words:
            if len(lines[-1]) + len(word) + 1 > 72:
                lines.append("")
            lines[-1] += (" " if lines[-1] else "") + word
        entries.append("  * " + "\n    ".join(lines))
    date = email.utils.formatdate(when, usegmt=False).replace("-0000", "+0000")
    return (f"corvaneping ({version}) unstable; urgency=medium\n\n" + "\n".join(entries) +
            f"\n\n -- {maintainer}  {date}\n")


def main(argv):
    if len(argv) not in (6, 8):
        sys.exit(__doc__)
    out, project_license, news, version, maintainer = argv[1:6]
    os.makedirs(out, exist_ok=True)
    paragraphs = ["Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
                  "Upstream-Name: CorvanePing\n",
                  project_paragraph(open(project_license, encoding="utf-8").read())]
    if len(argv) == 8:
        licenses, components = argv[6:8]
        for line in open(components, encoding="utf-8"):
            fields = line.rstrip("\n").split("\t")
            paragraphs.append(component_paragraph(fields[0], fields[5],
                                                  os.path.join(licenses, fields[0])))
    with open(os.path.join(out, "copyright"), "w", encoding="utf-8") as copyright_file:
        copyright_file.write("\n".join(paragraphs))
    when = int(os.environ.get("SOURCE_DATE_EPOCH", "0"))
    data = changelog(news, version, maintainer, when).encode("utf-8")
    with open(os.path.join(out, "changelog.gz"), "wb") as raw:
        with gzip.GzipFile(filename="", mode="wb", fileobj=raw, compresslevel=9, mtime=0) as z:
            z.write(data)


if __name__ == "__main__":
    main(sys.argv)
