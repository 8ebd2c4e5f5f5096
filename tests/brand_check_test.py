#!/usr/bin/env python3
"""The brand check's refusals: each bad brand file gets exactly one line, naming the key, exit
status 1, and no files; printed as a table. Usage: brand_check_test.py SOURCE_DIR"""

import os
import subprocess
import sys
import tempfile

root = os.path.abspath(sys.argv[1])
script = os.path.join(root, "scripts", "brand.py")
sample = os.path.join(root, "package", "brands", "kestrel", "brand.ini")
good = dict(line.split("=", 1) for line in open(sample, encoding="utf-8").read().splitlines()
            if "=" in line and not line.startswith(";"))
good["Logo"] = os.path.join(os.path.dirname(sample), good["Logo"])

# (what changes: key -> value, None removes it; extra text; the line the check must print)
CASES = [
    ({"Company": None}, "", "Company: is missing"),
    ({"Version": None}, "", "Version: is missing"),
    ({"Product": ""}, "", "Product: is empty"),
    ({}, "Vendor=Acme\n", "Vendor: is not a key of a brand file"),
    ({"FileStem": "k"}, "", 'FileStem: "k" must be 2 to 8 lower-case letters or digits'),
    ({"FileStem": "Kestrel"}, "", 'FileStem: "Kestrel" must be 2 to 8'),
    ({"FileStem": "kestrel99"}, "", 'FileStem: "kestrel99" must be 2 to 8'),
    ({"FileStem": "eaglgrp"}, "", 'FileStem: "eaglgrp" contains "lg"'),
    ({"FileStem": "3com"}, "", 'FileStem: "3com" starts with a digit'),
    ({"FileStem": "xmlprint"}, "", 'FileStem: "xmlprint" starts with "xml"'),
    ({"FileStem": "con"}, "", 'FileStem: "con" is a Windows device name'),
    ({"FileStem": "lpt1"}, "", 'FileStem: "lpt1" is a Windows device name'),
    ({"FileStem": "ps5"}, "", 'FileStem: "ps5" would name the UI plug-in ps5ui.dll'),
    ({"FileStem": "unidrv"}, "", 'FileStem: "unidrv" would name the UI plug-in unidrvui.dll'),
    ({"Namespace": "schemas.kestrel.example/securehold"}, "",
     'Namespace: "schemas.kestrel.example/securehold" is not an absolute URI'),
    ({"Namespace": "http://a b"}, "", 'Namespace: "http://a b" is not an absolute URI'),
    ({"Namespace": "http://k.example/hold#v1"}, "", 'Namespace: "http://k.example/hold#v1" has a'),
    ({"Version": "3.1.4"}, "", 'Version: "3.1.4" must be four numbers a.b.c.d'),
    ({"Version": "3.1.4.x"}, "", 'Version: "3.1.4.x" must be four numbers'),
    ({"Version": "3.1.4.70000"}, "", "Version: \"3.1.4.70000\": each number is at most 65535"),
    ({"Version": "01.0.0.0"}, "", 'Version: "01.0.0.0": a number has a leading zero'),
    ({"Model": "Kestrel K470 (PS"}, "", 'Model: "Kestrel K470 (PS" has unbalanced parentheses'),
    ({"Company": 'Kestrel "Imaging"'}, "", "Company: must not contain '\"'"),
    ({"Model": "Kestrel К470"}, "", "Model: \"Kestrel К470\" has characters that the PPD"),
    ({"HardwareId": "Kestrel K470"}, "", 'HardwareId: "Kestrel K470" must be 1 to 200'),
    ({"Logo": "missing.png"}, "", "Logo: missing.png cannot be read"),
    ({"Logo": sample}, "", "Logo: brand.ini is not a PNG file"),
]


def run(*args):
    return subprocess.run([sys.executable, script, *args], capture_output=True, text=True)


failures = 0
print("| bad brand file | the line brand.py prints |\n|---|---|")
with tempfile.TemporaryDirectory() as work:
    for changes, extra, expected in CASES:
        values = dict(good)
        for key, value in changes.items():
            if value is None:
                values.pop(key)
            else:
                values[key] = value
        brand = os.path.join(work, "brand.ini")
        with open(brand, "w", encoding="utf-8") as f:
            f.write("[Brand]\n" + "".join(f"{k}={v}\n" for k, v in values.items()) + extra)
        out = os.path.join(work, "out")
        result = run("configure", brand, out)
        lines = result.stderr.splitlines()
        ok = (result.returncode == 1 and len(lines) == 1 and
              lines[0].startswith(f"{brand}: {expected}") and not os.path.exists(out))
        if not ok:
            failures += 1
            print(f"FAIL {changes or extra.strip()}: exit {result.returncode}, {lines}")
        what = ", ".join(f"no {k}" if v is None else f"{k}={os.path.basename(v) if k == 'Logo' else v}"
                         for k, v in changes.items()) or f"{extra.strip()} added"
        print(f"| {what} | {' '.join(lines).replace(brand, 'brand.ini')} |")
    # A file that is not a brand file at all, and the sample itself.
    not_ini = os.path.join(work, "notes.ini")
    with open(not_ini, "w") as f:
        f.write("Company=Kestrel\n")
    lines = run("check", not_ini).stderr.splitlines()
    if len(lines) != 1 or "file: is not a brand file" not in lines[0]:
        failures += 1
        print(f"FAIL not a brand file: {lines}")
    print(f"| no [Brand] section | {' '.join(lines).replace(not_ini, 'notes.ini')} |")
    accepted = run("check", sample).returncode == 0
    if not accepted:
        failures += 1
        print("FAIL the second sample brand is refused")

print(f"{len(CASES) + 1 - failures + (not accepted)} of {len(CASES) + 1} bad brand files refused "
      f"as expected; the second sample brand {'accepted' if accepted else 'REFUSED'}")
sys.exit(1 if failures else 0)
