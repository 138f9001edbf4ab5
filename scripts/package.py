"""Makes and checks the release package: the same bytes from the same commit, wherever it is built.

  package.py make  DIST_ZIP STAGING_DIR   writes the zip from a staging folder
  package.py check DIST_ZIP               checks the listing, the hashes and each program's version
"""
import hashlib
import io
import os
import struct
import sys
import zipfile

PROGRAMS = ["Ambrel Quillmark Lookup Tool.exe", "quillmark.exe"]
LISTING = sorted(
    [f"{arch}/{program}" for arch in ("x64", "x86") for program in PROGRAMS]
    + ["LICENSE.txt", "README.txt", "SHA256SUMS", "THIRD-PARTY-NOTICES.txt"])
MACHINES = {"x86": 0x014C, "x64": 0x8664}


def fixed_date():
    """The commit's own time, so that every build of one commit dates its files alike."""
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))
    epoch = max(epoch, 315532800)  # zip dates start in 1980
    import time
    return time.gmtime(epoch)[:6]


def make(zip_path, staging):
    names = sorted(
        os.path.relpath(os.path.join(folder, name), staging).replace(os.sep, "/")
        for folder, _, files in os.walk(staging) for name in files)
    date = fixed_date()
    with zipfile.ZipFile(zip_path, "w") as archive:
        for name in names:
            info = zipfile.ZipInfo(name, date_time=date)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # no Unix owner or mode bits
            info.external_attr = 0x20  # the archive attribute, as Windows' own zips carry
            with open(os.path.join(staging, name), "rb") as source:
                archive.writestr(info, source.read(), compresslevel=9)


def version_texts(image):
    """FileVersion and ProductVersion from the version block's strings, as UTF-16 text."""
    texts = {}
    for key in ("FileVersion", "ProductVersion"):
        marker = (key + "\0").encode("utf-16-le")
        at = image.find(marker)
        if at < 0:
            texts[key] = None
            continue
        at += len(marker)
        at += (4 - at % 4) % 4  # values start on a 32-bit boundary
        end = image.find(b"\0\0", at)
        while end >= 0 and (end - at) % 2:
            end = image.find(b"\0\0", end + 1)
        texts[key] = image[at:end].decode("utf-16-le")
    return texts


def fixed_version(image):
    """The file version in the version block's fixed part, as four numbers."""
    at = image.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return None
    high, low = struct.unpack_from("<II", image, at + 8)
    return (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)


def machine(image):
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    return struct.unpack_from("<H", image, pe + 4)[0]


def check(zip_path):
    problems = []
    with zipfile.ZipFile(zip_path) as archive:
        names = archive.namelist()
        if names != LISTING:
            problems.append(f"listing {names} is not {LISTING}")
        files = {name: archive.read(name) for name in names}
    sums = files.get("SHA256SUMS", b"").decode().splitlines()
    listed = {}
    for line in sums:
        digest, name = line.split("  ", 1)
        listed[name] = digest
    for name, data in files.items():
        if name == "SHA256SUMS":
            continue
        if listed.get(name) != hashlib.sha256(data).hexdigest():
            problems.append(f"{name}: its hash does not verify")
    for arch, code in MACHINES.items():
        for program in PROGRAMS:
            name = f"{arch}/{program}"
            image = files.get(name, b"")
            if not image.startswith(b"MZ"):
                problems.append(f"{name}: not a program")
                continue
            if machine(image) != code:
                problems.append(f"{name}: built for machine {machine(image):#x}, not {arch}")
            if fixed_version(image) != (1, 0, 0, 0):
                problems.append(f"{name}: fixed version {fixed_version(image)}, not 1.0.0.0")
            if version_texts(image) != {"FileVersion": "1.00", "ProductVersion": "1.00"}:
                problems.append(f"{name}: version texts {version_texts(image)}, not 1.00")
    for problem in problems:
        print(f"package check: {problem}", file=sys.stderr)
    if not problems:
        print(f"package check: {zip_path}: {len(names)} files as listed, hashes verify, "
              f"every program reads version 1.00 for its architecture")
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 3 and sys.argv[1] == "check":
        sys.exit(check(sys.argv[2]))
    else:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
