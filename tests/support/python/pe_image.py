"""Reads a Windows program's file (PE32 or PE32+) for the checks that run natively on the
build host: headers, imports, delay-load descriptors, resources, the load configuration."""
import struct


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header: not a Windows program")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        self.is64 = self.magic == 0x20B
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        dirs = optional + (112 if self.is64 else 96)
        count = struct.unpack_from("<I", data, dirs - 4)[0]
        self.directories = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(count)]
        table = optional + optional_size
        self.sections = []
        for i in range(sections):
            vsize, va, rsize, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((va, max(vsize, rsize), raw, rsize))
        self.unset_slots = {}

    @classmethod
    def read(cls, path):
        with open(path, "rb") as f:
            return cls(f.read())

    def offset(self, rva):
        """The file offset of an address, or None where the file holds no bytes for it."""
        for va, size, raw, rsize in self.sections:
            if va <= rva < va + size and rva - va < rsize:
                return raw + rva - va
        return None

    def rva(self, offset):
        for va, _, raw, rsize in self.sections:
            if raw <= offset < raw + rsize:
                return va + offset - raw
        return None

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def c_string(self, rva):
        start = self.offset(rva)
        if start is None:
            raise ValueError(f"address {rva:#x} lies in no section")
        return self.data[start:self.data.index(b"\0", start)].decode("ascii", "replace")

    def _pointer(self, offset):
        return struct.unpack_from("<Q" if self.is64 else "<I", self.data, offset)[0]

    def _thunk_names(self, rva):
        """The function names of a thunk array (ordinals are left out)."""
        names = []
        size = 8 if self.is64 else 4
        ordinal = 1 << (63 if self.is64 else 31)
        at = self.offset(rva)
        while at is not None:
            entry = self._pointer(at)
            if entry == 0:
                break
            if not entry & ordinal:
                names.append(self.c_string(entry + 2))
            at += size
        return names

    def imports(self):
        """{dll: [functions]} of the import directory."""
        result = {}
        rva, _ = self.directory(1)
        at = self.offset(rva) if rva else None
        while at is not None:
            lookup, _, _, name, iat = struct.unpack_from("<IIIII", self.data, at)
            if name == 0:
                break
            result[self.c_string(name)] = self._thunk_names(lookup or iat)
            at += 20
        return result

    def delay_imports(self, candidates):
        """{dll: [functions]} for each candidate name that has a delay-load descriptor (found
        by scanning: the GNU linker leaves the delay-import directory entry empty); and in
        unset_slots, how many of its pointers start at zero instead of at their loading thunk."""
        result = {}
        self.unset_slots = {}
        lower = self.data.lower()
        size = 8 if self.is64 else 4
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
                descriptor = self.data.find(struct.pack("<II", 1, name_rva))
                if descriptor >= 0:
                    _, _, _, iat_rva, names_rva = struct.unpack_from("<IIIII", self.data, descriptor)
                    names = self._thunk_names(names_rva)
                    slots = self.offset(iat_rva)
                    self.unset_slots[self.c_string(name_rva)] = sum(
                        1 for i in range(len(names)) if self._pointer(slots + size * i) == 0)
                    result[self.c_string(name_rva)] = names
                    break
        return result

    def dependent_load_flags(self):
        """DependentLoadFlags of the load configuration, or None without one."""
        rva, size = self.directory(10)
        field = 78 if self.is64 else 54
        if not rva or size < field + 2 or self.offset(rva) is None:
            return None
        return struct.unpack_from("<H", self.data, self.offset(rva) + field)[0]

    def resources(self):
        """{(type, name, language): bytes}; names are ints or upper-case strings."""
        rva, _ = self.directory(2)
        base = self.offset(rva) if rva else None
        if base is None:
            return {}
        found = {}

        def entries(at):
            named, ids = struct.unpack_from("<HH", self.data, base + at + 12)
            for i in range(named + ids):
                key, target = struct.unpack_from("<II", self.data, base + at + 16 + 8 * i)
                if key & 0x80000000:
                    length = struct.unpack_from("<H", self.data, base + (key & 0x7FFFFFFF))[0]
                    start = base + (key & 0x7FFFFFFF) + 2
                    key = self.data[start:start + 2 * length].decode("utf-16-le").upper()
                yield key, target

        for kind, types in entries(0):
            for name, names in entries(types & 0x7FFFFFFF):
                for language, leaf in entries(names & 0x7FFFFFFF):
                    data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    start = self.offset(data_rva)
                    if start is not None:
                        found[(kind, name, language)] = self.data[start:start + size]
        return found
