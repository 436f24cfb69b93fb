"""Reads a 32-bit PE image's imports: the import directory's DLLs and functions, and the
delay-load descriptors (found by scanning, since this linker leaves the delay-import
directory entry empty)."""
import struct


class Image:
    def __init__(self, path):
        self.data = open(path, "rb").read()
        d = self.data
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        count = struct.unpack_from("<H", d, pe + 6)[0]
        optional_size = struct.unpack_from("<H", d, pe + 20)[0]
        self.optional = pe + 24
        if struct.unpack_from("<H", d, self.optional)[0] != 0x10B:
            raise ValueError("not a 32-bit image")
        self.sections = []
        for n in range(count):
            h = self.optional + optional_size + 40 * n
            vsize, va, rsize, rptr = struct.unpack_from("<IIII", d, h + 8)
            self.sections.append((va, max(vsize, rsize), rptr, rsize))

    def directory(self, index):
        return struct.unpack_from("<II", self.data, self.optional + 96 + 8 * index)

    def offset(self, rva):
        for va, size, rptr, rsize in self.sections:
            if va <= rva < va + size and rva - va < rsize:
                return rptr + rva - va
        return None

    def rva(self, offset):
        for va, size, rptr, rsize in self.sections:
            if rptr <= offset < rptr + rsize:
                return va + offset - rptr
        return None

    def text(self, rva):
        o = self.offset(rva)
        return self.data[o:self.data.index(b"\0", o)].decode("ascii")

    def names(self, thunk_rva):
        names = []
        o = self.offset(thunk_rva)
        while o is not None:
            entry = struct.unpack_from("<I", self.data, o)[0]
            if entry == 0:
                break
            if not entry & 0x80000000:
                names.append(self.text(entry + 2))
            o += 4
        return names

    def imports(self):
        """{dll: [functions]} of the import directory."""
        result = {}
        rva, size = self.directory(1)
        o = self.offset(rva) if rva else None
        while o is not None:
            lookup, _, _, name, iat = struct.unpack_from("<IIIII", self.data, o)
            if name == 0:
                break
            result[self.text(name)] = self.names(lookup or iat)
            o += 20
        return result

    def delay_imports(self, candidates):
        """{dll: [functions]} for each candidate name that has a delay-load descriptor; and in
        unset_slots, how many of its pointers start at zero instead of at their loading thunk."""
        result = {}
        self.unset_slots = {}
        lower = self.data.lower()
        for dll in candidates:
            needle = dll.lower().encode() + b"\0"
            start = 0
            while True:
                at = lower.find(needle, start)
                if at < 0:
                    break
                start = at + 1
                name_rva = self.rva(at)
                if name_rva is None:
                    continue
                reference = struct.pack("<II", 1, name_rva)
                d = self.data.find(reference)
                if d >= 0:
                    _, _, _, iat_rva, names_rva = struct.unpack_from("<IIIII", self.data, d)
                    names = self.names(names_rva)
                    self.unset_slots[self.text(name_rva)] = sum(
                        1 for i in range(len(names)) if struct.unpack_from("<I", self.data, self.offset(iat_rva) + 4 * i)[0] == 0)
                    result[self.text(name_rva)] = names
                    break
        return result

    def dependent_load_flags(self):
        rva, size = self.directory(10)
        if not rva or size < 56:
            return None
        return struct.unpack_from("<H", self.data, self.offset(rva) + 54)[0]
