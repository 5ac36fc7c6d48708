#!/usr/bin/env python3
"""Writes the CycloneDX 1.5 bill of materials of one CorvanePing artifact.

Usage: sbom.py OUTPUT NAME VERSION COMPONENTS_TSV [SYSTEM_PACKAGE...]

COMPONENTS_TSV is the list that scripts/deps.sh writes beside the dependencies it built
(share/corvaneping-deps/components.tsv): one line per component linked into or shipped
with the program, tab-separated: name, version, Debian source package, Debian version,
what was taken of the source package (all, orig, debian or runtime), SPDX license,
CPE (@VERSION@ stands for the version), description, then one "URL SHA256" field per
source file. Each SYSTEM_PACKAGE is a library of the system that the package depends on
and does not carry; its installed version is named. The document's time is
SOURCE_DATE_EPOCH and its serial number is derived from its content, so that the same
inputs give the same bytes.
"""
import datetime
import json
import os
import subprocess
import sys
import urllib.parse
import uuid


def purl(package, version, arch):
    quoted = urllib.parse.quote(version, safe="~.")
    return f"pkg:deb/debian/{package}@{quoted}?arch={arch}&distro=debian-12"


def licenses(spdx):
    if " " in spdx:
        return [{"expression": spdx}]
    return [{"license": {"id": spdx}}]


def bundled(fields):
    name, version, source, debian_version, taken, spdx, cpe, description = fields[:8]
    notes = {
        "all": f"built from Debian's source package {source} {debian_version}",
        "orig": f"built from the upstream tarball of Debian's source package {source} "
        f"{debian_version}, without Debian's changes",
        "debian": f"built from the upstream release with the changes of Debian's source "
        f"package {source} {debian_version} applied",
        "runtime": f"shipped from Debian's package built from {source} {debian_version}",
    }
    component = {
        "type": "library",
        "bom-ref": name,
        "name": name,
        "version": version,
        "description": f"{description}; {notes[taken]}",
        "licenses": licenses(spdx),
        "purl": purl(source, debian_version, "source"),
        "externalReferences": [],
        "properties": [
            {"name": "corvaneping:linkage", "value": "bundled"},
            {"name": "corvaneping:debian-source", "value": source},
            {"name": "corvaneping:debian-version", "value": debian_version},
        ],
    }
    if cpe:
        component["cpe"] = cpe.replace("@VERSION@", version)
    for source_file in fields[8:]:
        url, sha256 = source_file.split(" ")
        component["externalReferences"].append({
            "type": "distribution",
            "url": url,
            "hashes": [{"alg": "SHA-256", "content": sha256}],
        })
    return component


def system(package):
    query = ["dpkg-query", "-W", "-f=${Version}\t${source:Package}\t${source:Version}\n", package]
    version, source, source_version = subprocess.run(
        query, check=True, capture_output=True, text=True).stdout.splitlines()[0].split("\t")
    return {
        "type": "library",
        "bom-ref": f"system:{package}",
        "name": package,
        "version": version,
        "description": "a library of the system, not carried: the package depends on it "
        "and receives its updates from Debian",
        "purl": purl(package, version, "amd64"),
        "properties": [
            {"name": "corvaneping:linkage", "value": "system"},
            {"name": "corvaneping:debian-source", "value": source},
            {"name": "corvaneping:debian-version", "value": source_version},
        ],
    }


def main():
    output, name, version, components_tsv, *system_packages = sys.argv[1:]
    with open(components_tsv, encoding="utf-8") as tsv:
        components = [bundled(line.rstrip("\n").split("\t")) for line in tsv if line.strip()]
    components += [system(package) for package in system_packages]
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "0"))
    timestamp = datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc)
    document = {
        "bomFormat": "CycloneDX",
        "specVersion": "1.5",
        "version": 1,
        "metadata": {
            "timestamp": timestamp.strftime("%Y-%m-%dT%H:%M:%SZ"),
            "component": {
                "type": "application",
                "bom-ref": "corvaneping",
                "name": name,
                "version": version,
            },
        },
        "components": components,
        "dependencies": [{"ref": "corvaneping",
                          "dependsOn": [c["bom-ref"] for c in components]}]
        + [{"ref": c["bom-ref"]} for c in components],
    }
    text = json.dumps(document, indent=2, sort_keys=False)
    serial = uuid.uuid5(uuid.NAMESPACE_URL, "corvaneping-sbom:" + text)
    document = {"bomFormat": "CycloneDX", "specVersion": "1.5",
                "serialNumber": f"urn:uuid:{serial}", **document}
    with open(output, "w", encoding="utf-8") as out:
        out.write(json.dumps(document, indent=2) + "\n")


if __name__ == "__main__":
    main()
