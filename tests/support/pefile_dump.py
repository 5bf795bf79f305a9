#!/usr/bin/python3
"""Prints the resource tree of a PE file as read by python3-pefile.

Usage: pefile_dump.py FILE

The text is compared with the tree dump of our own engine, so both sides
print the same format:

  root chars=0x00000000 time=0x00000000 ver=4.0
  #3 chars=0x00000000 time=0x00000000 ver=4.0
    #1 chars=0x00000000 time=0x00000000 ver=4.0
      #1033 size=744 codepage=0 fnv1a64=0123456789abcdef
  "AVI" chars=0x00000000 time=0x00000000 ver=4.0

- the first line is the root directory's header; then every entry in the
  order in which it is stored in its table (not sorted), depth first, two
  spaces of indent per level below the root;
- an entry's key is #<decimal id>, or "<name>" for a named entry, where `"`,
  `\\` and every UTF-16 unit outside printable ASCII is written \\uXXXX
  (4 lowercase hex digits);
- a directory entry is followed by its directory's Characteristics,
  TimeDateStamp and MajorVersion.MinorVersion; a data entry by its Size,
  CodePage and the 64-bit FNV-1a hash of its data bytes.

A file without a resource directory prints nothing and exits 0. A file that
pefile cannot read, or whose resource directory or data it cannot read in
full, exits 1 with a message on stderr.
"""

import sys

import pefile

FNV_OFFSET_BASIS = 0xCBF29CE484222325
FNV_PRIME = 0x100000001B3
NAME_IS_STRING = 0x80000000
RESOURCE_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]


class DumpError(Exception):
    pass


def fnv1a64(data):
    h = FNV_OFFSET_BASIS
    for byte in data:
        h = ((h ^ byte) * FNV_PRIME) & 0xFFFFFFFFFFFFFFFF
    return h


def header_fields(struct):
    return "chars=0x%08x time=0x%08x ver=%d.%d" % (
        struct.Characteristics, struct.TimeDateStamp,
        struct.MajorVersion, struct.MinorVersion)


def entry_key(pe, root_rva, entry):
    name = entry.struct.Name
    if not name & NAME_IS_STRING:
        return "#%d" % name
    # The name is read here from the section itself, so that every UTF-16
    # unit is shown as stored (lone surrogates included).
    string_rva = root_rva + (name & 0x7FFFFFFF)
    length = pe.get_word_at_rva(string_rva)
    if length is None:
        raise DumpError("name string at RVA 0x%x cannot be read" % string_rva)
    raw = pe.get_data(string_rva + 2, 2 * length)
    if len(raw) != 2 * length:
        raise DumpError("name string at RVA 0x%x is cut short" % string_rva)
    text = []
    for i in range(length):
        unit = raw[2 * i] | (raw[2 * i + 1] << 8)
        if 0x20 <= unit <= 0x7E and unit not in (0x22, 0x5C):
            text.append(chr(unit))
        else:
            text.append("\\u%04x" % unit)
    return '"%s"' % "".join(text)


def dump_directory(pe, root_rva, directory, depth, out):
    indent = "  " * depth
    stored = directory.struct.NumberOfNamedEntries + directory.struct.NumberOfIdEntries
    if len(directory.entries) != stored:
        # pefile stops early at entries it cannot follow; a partial dump
        # would hide the damage.
        raise DumpError("pefile read %d of %d entries of a directory" % (
            len(directory.entries), stored))
    for entry in directory.entries:
        key = entry_key(pe, root_rva, entry)
        if getattr(entry, "directory", None) is not None:
            out.append("%s%s %s" % (indent, key, header_fields(entry.directory.struct)))
            dump_directory(pe, root_rva, entry.directory, depth + 1, out)
        elif getattr(entry, "data", None) is not None:
            leaf = entry.data.struct
            data = pe.get_data(leaf.OffsetToData, leaf.Size)
            if len(data) != leaf.Size:
                raise DumpError("data of %s at RVA 0x%x: %d of %d bytes readable" % (
                    key, leaf.OffsetToData, len(data), leaf.Size))
            out.append("%s%s size=%d codepage=%d fnv1a64=%016x" % (
                indent, key, leaf.Size, leaf.CodePage, fnv1a64(data)))
        else:
            raise DumpError("entry %s could not be read by pefile" % key)


def dump(path):
    pe = pefile.PE(path, fast_load=True)
    directories = pe.OPTIONAL_HEADER.DATA_DIRECTORY
    if len(directories) <= RESOURCE_DIRECTORY or directories[RESOURCE_DIRECTORY].VirtualAddress == 0:
        return []
    root_rva = directories[RESOURCE_DIRECTORY].VirtualAddress
    pe.parse_data_directories(directories=[RESOURCE_DIRECTORY])
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    if root is None:
        raise DumpError("resource directory at RVA 0x%x could not be read by pefile" % root_rva)
    out = ["root " + header_fields(root.struct)]
    dump_directory(pe, root_rva, root, 0, out)
    return out


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: pefile_dump.py FILE\n")
        return 2
    try:
        lines = dump(argv[1])
    except (pefile.PEFormatError, DumpError, OSError) as e:
        sys.stderr.write("%s: %s\n" % (argv[1], e))
        return 1
    sys.stdout.write("".join(line + "\n" for line in lines))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
