#!/usr/bin/python3
"""check_saved.py ORIGINAL SAVED [--transferred]

Checks with pefile, independently of the engine, that SAVED is ORIGINAL with only its
resource section rebuilt: the same resource tree (unless --transferred), every other
section's raw bytes unchanged at their new offsets, the bytes behind the last section
unchanged, consistent header totals, and a CheckSum equal to the standard checksum
of SAVED (or 0 when ORIGINAL had none). Prints problems and exits 1, or exits 0.
"""
import os
import subprocess
import sys

import pefile


def dump(path):
    here = os.path.dirname(os.path.abspath(__file__))
    return subprocess.run([sys.executable, os.path.join(here, "pefile_dump.py"), path],
                          check=True, capture_output=True, text=True).stdout


def align(value, alignment):
    return (value + alignment - 1) // alignment * alignment if alignment else value


def main():
    original_path, saved_path = sys.argv[1], sys.argv[2]
    transferred = "--transferred" in sys.argv[3:]
    original = pefile.PE(original_path)
    saved = pefile.PE(saved_path)
    problems = []

    if not transferred and dump(original_path) != dump(saved_path):
        problems.append("resource tree differs")

    rsrc_rva = original.OPTIONAL_HEADER.DATA_DIRECTORY[2].VirtualAddress
    old_bytes = original.__data__
    new_bytes = saved.__data__
    if len(original.sections) != len(saved.sections):
        problems.append("section count differs")
    for old, new in zip(original.sections, saved.sections):
        if old.Name != new.Name:
            problems.append("section name differs: %r %r" % (old.Name, new.Name))
        if old.VirtualAddress <= rsrc_rva < old.VirtualAddress + old.SizeOfRawData:
            continue
        a = old_bytes[old.PointerToRawData:old.PointerToRawData + old.SizeOfRawData]
        b = new_bytes[new.PointerToRawData:new.PointerToRawData + new.SizeOfRawData]
        if a != b:
            problems.append("raw bytes of %r differ" % old.Name)
    old_end = max(s.PointerToRawData + s.SizeOfRawData for s in original.sections)
    new_end = max(s.PointerToRawData + s.SizeOfRawData for s in saved.sections)
    if old_bytes[old_end:] != new_bytes[new_end:]:
        problems.append("bytes behind the last section differ")

    oh = saved.OPTIONAL_HEADER
    sa = oh.SectionAlignment
    last = saved.sections[-1]
    if oh.SizeOfImage < last.VirtualAddress + align(last.Misc_VirtualSize, sa):
        problems.append("SizeOfImage 0x%x falls short" % oh.SizeOfImage)
    previous = None
    for s in saved.sections:
        if previous is not None:
            if previous.VirtualAddress + align(previous.Misc_VirtualSize, sa) != s.VirtualAddress:
                problems.append("gap in memory before %r" % s.Name)
            if s.SizeOfRawData and previous.PointerToRawData + previous.SizeOfRawData != s.PointerToRawData:
                problems.append("gap in the file before %r" % s.Name)
        previous = s
    if saved.FILE_HEADER.PointerToSymbolTable and original.FILE_HEADER.PointerToSymbolTable:
        shift = new_end - old_end
        if saved.FILE_HEADER.PointerToSymbolTable != original.FILE_HEADER.PointerToSymbolTable + shift:
            problems.append("symbol table pointer did not follow the section")

    if original.OPTIONAL_HEADER.CheckSum == 0:
        if oh.CheckSum != 0:
            problems.append("CheckSum set on an image without one")
    elif oh.CheckSum != saved.generate_checksum():
        problems.append("CheckSum 0x%x, expected 0x%x" % (oh.CheckSum, saved.generate_checksum()))

    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
