"""Gives a built package the identity of its content, so that a rebuild is byte for byte the same.

wixl writes a new random product code and package code and the time of the build into every
package. Here the product code and the package code are derived from the package's content and
version (each changes whenever anything in the package does, and stays when nothing does), and
the summary's creation and last-saved times become one fixed time.

Usage: msi_identity.py EPOCH VERSION PACKAGE
Prints the product code. Needs msiinfo (msitools).

The product code is text in the string pool, replaced in place by text of the same length. The
summary information is a property set (the "\\x05SummaryInformation" stream of the compound
file), whose revision number holds the package code and whose two dates are FILETIMEs; both have
a fixed size, so they are rewritten in place, in the sectors that hold the stream.
"""
import hashlib
import struct
import subprocess
import sys
import uuid

SUMMARY_STREAM = '\x05SummaryInformation'
PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM = 9, 12, 13
VT_LPSTR, VT_FILETIME = 30, 64
ZERO_GUID = '{00000000-0000-0000-0000-000000000000}'
FREE_OR_END = 0xFFFFFFFA  # sector numbers from here on mark ends and special sectors


def _chain(table, first):
    sectors = []
    while first < FREE_OR_END:
        if len(sectors) > len(table):
            raise ValueError('sector chain loops')
        sectors.append(first)
        first = table[first]
    return sectors


def streams(data):
    """{name: file offsets of the stream's bytes, in order} for every stream of a compound file."""
    if data[:8] != bytes.fromhex('d0cf11e0a1b11ae1'):
        raise ValueError('not a compound file')
    sector_size = 1 << struct.unpack_from('<H', data, 0x1E)[0]
    mini_size = 1 << struct.unpack_from('<H', data, 0x20)[0]
    fat_count, first_dir = struct.unpack_from('<II', data, 0x2C)
    cutoff, first_minifat, _, first_difat, difat_count = struct.unpack_from('<IIIII', data, 0x38)

    def at(sector):
        return (sector + 1) * sector_size

    def words(sector):
        return list(struct.unpack_from('<%dI' % (sector_size // 4), data, at(sector)))

    difat = list(struct.unpack_from('<109I', data, 0x4C))
    sector = first_difat
    for _ in range(difat_count):
        entries = words(sector)
        difat += entries[:-1]
        sector = entries[-1]
    fat = []
    for sector in difat[:fat_count]:
        fat += words(sector)
    minifat = []
    for sector in _chain(fat, first_minifat):
        minifat += words(sector)

    entries = b''.join(data[at(s):at(s) + sector_size] for s in _chain(fat, first_dir))
    ministream, found = None, {}
    for i in range(0, len(entries), 128):
        entry = entries[i:i + 128]
        name_bytes = struct.unpack_from('<H', entry, 64)[0]
        start, size = struct.unpack_from('<IQ', entry, 116)
        if sector_size == 512:
            size &= 0xFFFFFFFF
        if entry[66] == 5:
            ministream = [at(s) for s in _chain(fat, start)]
        elif entry[66] == 2:
            found[entry[:max(name_bytes - 2, 0)].decode('utf-16-le', 'replace')] = (start, size)
    result = {}
    for name, (start, size) in found.items():
        if size >= cutoff:
            runs = [(at(s), sector_size) for s in _chain(fat, start)]
        else:
            runs = []
            for s in _chain(minifat, start):
                offset = s * mini_size
                runs.append((ministream[offset // sector_size] + offset % sector_size, mini_size))
        offsets = [base + k for base, length in runs for k in range(length)][:size]
        if len(offsets) < size:
            raise ValueError('stream %r is shorter than its entry says' % name)
        result[name] = offsets
    return result


def replace_text(data, old, new):
    """Replaces the bytes `old` by `new` (of the same length) in every stream of `data`."""
    assert len(old) == len(new)
    count = 0
    for offsets in streams(data).values():
        stream = bytes(data[o] for o in offsets)
        at = stream.find(old)
        while at != -1:
            for k, byte in enumerate(new):
                data[offsets[at + k]] = byte
            count += 1
            at = stream.find(old, at + len(old))
    return count


def filetime(epoch):
    return (epoch + 11644473600) * 10**7


def rewrite_summary(data, revision, epoch):
    """Sets the package code (revision number) and both dates of the package `data`."""
    offsets = streams(data)[SUMMARY_STREAM]
    stream = bytearray(data[o] for o in offsets)
    section = struct.unpack_from('<I', stream, 28 + 16)[0]
    count = struct.unpack_from('<I', stream, section + 4)[0]
    seen = set()
    for i in range(count):
        pid, offset = struct.unpack_from('<II', stream, section + 8 + 8 * i)
        value = section + offset
        kind = struct.unpack_from('<H', stream, value)[0]
        if pid == PID_REVNUMBER and kind == VT_LPSTR:
            length = struct.unpack_from('<I', stream, value + 4)[0]
            text = revision.encode('ascii') + b'\0'
            if length != len(text):
                raise ValueError('revision number of %d bytes, not %d' % (length, len(text)))
            stream[value + 8:value + 8 + length] = text
            seen.add(pid)
        elif pid in (PID_CREATE_DTM, PID_LASTSAVE_DTM) and kind == VT_FILETIME:
            struct.pack_into('<Q', stream, value + 4, filetime(epoch))
            seen.add(pid)
    missing = {PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM} - seen
    if missing:
        raise ValueError('summary information without properties %s' % sorted(missing))
    for o, byte in zip(offsets, stream):
        data[o] = byte


def code(digest, purpose):
    """A GUID in the registry's form, from the content digest and what it is for."""
    value = uuid.UUID(bytes=hashlib.sha256(purpose.encode() + digest).digest()[:16], version=5)
    return '{%s}' % str(value).upper()


def product_code(path):
    table = subprocess.run(['msiinfo', 'export', path, 'Property'], check=True, capture_output=True,
                           text=True).stdout
    for line in table.splitlines():
        name, _, value = line.partition('\t')
        if name == 'ProductCode':
            return value.strip()
    raise ValueError('%s has no ProductCode' % path)


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    epoch, version, path = int(argv[1]), argv[2], argv[3]
    random_code = product_code(path).encode('ascii')
    data = bytearray(open(path, 'rb').read())
    # The content without anything wixl chose at random or from the clock.
    if replace_text(data, random_code, ZERO_GUID.encode('ascii')) != 1:
        raise ValueError('the product code %s is not in the package once' % random_code.decode())
    rewrite_summary(data, ZERO_GUID, epoch)
    digest = hashlib.sha256(version.encode() + b'\0' + bytes(data)).digest()
    derived = code(digest, 'ProductCode')
    replace_text(data, ZERO_GUID.encode('ascii'), derived.encode('ascii'))
    rewrite_summary(data, code(digest, 'PackageCode'), epoch)
    open(path, 'wb').write(bytes(data))
    print(derived)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
