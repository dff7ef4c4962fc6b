#!/usr/bin/env python3
"""Mends the context map of a help file compiled by chmcmd.

    chm_context_map.py PROJECT.hhp FILE.chm

A compiled help file maps a context number to its topic with two tables: #IVB holds pairs of a
context number and an offset into #STRINGS, where the topic's page name is. chmcmd (fp-utils
3.2) writes the page name there with the absolute path of the project's folder before it
("/home/x/pages/CL_NETSCAPE_MEASUREMENTS.htm"), which no viewer finds in the file. The tail of
that text is the right name, so a new #IVB whose offsets point past the folder gives every
context its page. #STRINGS and #IVB sit in the compressed section and the other tables point
into #STRINGS; so #STRINGS stays as it is, and the new #IVB is appended to the uncompressed
section 0, its directory entry moved there.

The offsets are computed as chmcmd computes them: #STRINGS starts with a NUL, and the pages of
the contexts are its first texts, in the order of the project's [FILES], each added once, as
"<folder>/<page>" where <folder> is the project's folder as an absolute path. The script must
therefore be given the project by the same path chmcmd was given, from the same folder.

The file is changed in place. Exit status 0 when the map was written, 1 with a message on
standard error when the file or the project is not as expected (nothing is written then).
"""

import os
import struct
import sys

CHUNK_HEADER = 0x14  # "PMGL", free space, 0, previous chunk, next chunk


class Unexpected(Exception):
    pass


def read_project(path):
    """The project's [FILES] in order, and its context numbers by page."""
    sections = {}
    current = None
    # The project may be in a code page of its language; the keys read here are ASCII, and page
    # names are kept as the bytes chmcmd writes.
    with open(path, encoding="latin-1") as project:
        for raw in project:
            line = raw.strip()
            if not line or line.startswith(";"):
                continue
            if line.startswith("[") and line.endswith("]"):
                current = line[1:-1].strip().upper()
                sections.setdefault(current, [])
            elif current is not None:
                sections[current].append(line)
    files = [line.replace("\\", "/") for line in sections.get("FILES", [])]
    aliases = {}
    for line in sections.get("ALIAS", []):
        name, _, page = line.partition("=")
        aliases[name.strip().upper()] = page.split(";")[0].strip().replace("\\", "/")
    contexts = {}
    for line in sections.get("MAP", []):
        words = line.split()
        if len(words) == 3 and words[0].upper() == "#DEFINE":
            name = words[1].upper()
            if name not in aliases:
                raise Unexpected(f"context {words[1]} has no alias")
            number = int(words[2], 0)
            if number == 0:
                raise Unexpected(f"context {words[1]} has the number 0, which chmcmd leaves out")
            page = aliases[name]
            if page.upper() not in (f.upper() for f in files):
                raise Unexpected(f"the page {page} of context {words[1]} is not in [FILES]")
            contexts.setdefault(page.upper(), number)
    return files, contexts


def context_map(project_path, files, contexts):
    """The #IVB table: (context number, offset of the page's name in #STRINGS) pairs."""
    folder = os.path.dirname(os.path.abspath(project_path))
    prefix = os.fsencode(folder.rstrip("/") + "/")
    position = 1  # #STRINGS starts with a NUL
    offsets = {}
    pairs = []
    for page in files:
        number = contexts.get(page.upper())
        if number is None:
            continue
        text = prefix + page.encode("latin-1")
        if text not in offsets:
            # A text does not cross a block of 4096 bytes (chmcmd's rule, as it applies it).
            next_block = (position & 0xF000) + 0x1000
            if len(text) + 1 > next_block:
                position = next_block
            offsets[text] = position
            position += len(text) + 1
        pairs.append((number, offsets[text] + len(prefix)))
    if not pairs:
        raise Unexpected("the project maps no context")
    body = b"".join(struct.pack("<II", number, offset) for number, offset in pairs)
    return struct.pack("<I", len(body)) + body


def read_encint(data, position):
    value = 0
    while True:
        byte = data[position]
        position += 1
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            return value, position


def encint(value):
    groups = [value & 0x7F]
    value >>= 7
    while value:
        groups.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(groups))


def quickref(entry_offsets, density):
    """The offsets chmcmd writes at the end of a chunk: one for each group of 1 + 2^density entries,
    the offset (from the first entry) of the group's last entry."""
    step = 1 + (1 << density)
    return [entry_offsets[i] for i in range(step - 1, len(entry_offsets), step)]


def parse_chunk(chunk):
    free = struct.unpack_from("<I", chunk, 4)[0]
    end = len(chunk) - free
    entries = []
    position = CHUNK_HEADER
    while position < end:
        length, position = read_encint(chunk, position)
        name = chunk[position:position + length]
        position += length
        section, position = read_encint(chunk, position)
        offset, position = read_encint(chunk, position)
        size, position = read_encint(chunk, position)
        entries.append([name, section, offset, size])
    if position != end:
        raise Unexpected("a directory chunk does not end where its free space begins")
    return entries


def build_chunk(original, entries, density):
    body = bytearray()
    offsets = []
    for name, section, offset, size in entries:
        offsets.append(len(body))
        body += encint(len(name)) + name + encint(section) + encint(offset) + encint(size)
    references = quickref(offsets, density)
    tail = bytearray()
    for reference in reversed(references):
        tail += struct.pack("<H", reference)
    tail += struct.pack("<H", len(entries))
    chunk_size = len(original)
    if CHUNK_HEADER + len(body) + len(tail) > chunk_size:
        raise Unexpected("the directory chunk has no room for the moved entry")
    chunk = bytearray(original[:CHUNK_HEADER])
    struct.pack_into("<I", chunk, 4, chunk_size - CHUNK_HEADER - len(body))
    chunk += body
    chunk += bytes(chunk_size - len(chunk) - len(tail))
    chunk += tail
    return bytes(chunk)


def mend(project_path, chm_path):
    files, contexts = read_project(project_path)
    table = context_map(project_path, files, contexts)
    data = bytearray(open(chm_path, "rb").read())
    if data[:4] != b"ITSF" or struct.unpack_from("<I", data, 4)[0] != 3:
        raise Unexpected("not a compiled help file of version 3")
    section0_header, _, directory, _, content = struct.unpack_from("<QQQQQ", data, 0x38)
    if struct.unpack_from("<Q", data, section0_header + 8)[0] != len(data):
        raise Unexpected("the file's recorded size is not its size")
    if data[directory:directory + 4] != b"ITSP":
        raise Unexpected("no directory header")
    header_size, _, chunk_size, density, depth = struct.unpack_from("<IIIII", data, directory + 8)
    first, last = struct.unpack_from("<ii", data, directory + 0x20)
    if depth != 1 or first != last:
        raise Unexpected("a directory of more than one chunk")  # the help files have a few dozen entries
    chunk_start = directory + header_size + first * chunk_size
    chunk = bytes(data[chunk_start:chunk_start + chunk_size])
    if chunk[:4] != b"PMGL":
        raise Unexpected("no directory listing chunk")
    entries = parse_chunk(chunk)
    # The rebuilt chunk must be the same as chmcmd's before the change.
    if build_chunk(chunk, entries, density) != chunk:
        raise Unexpected("the directory chunk is not laid out as expected")
    moved = [entry for entry in entries if entry[0] == b"/#IVB"]
    if len(moved) != 1:
        raise Unexpected("the file has no context map (#IVB)")
    moved[0][1:] = [0, len(data) - content, len(table)]
    data[chunk_start:chunk_start + chunk_size] = build_chunk(chunk, entries, density)
    data += table
    struct.pack_into("<Q", data, section0_header + 8, len(data))
    with open(chm_path, "wb") as out:
        out.write(data)


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    try:
        mend(argv[1], argv[2])
    except (Unexpected, OSError, ValueError, struct.error, IndexError) as failure:
        print(f"{argv[2]}: cannot mend the context map: {failure}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
