"""Loads the built library with ctypes, as a caller in another language would."""

import ctypes
import os

LIBRARY_PATH = os.environ.get("QUILLET_LIBRARY", "libquillet.so")

ONE_ARGUMENT_EXPORTS = ("StandardSHA", "BrokenSHA", "LockdownSHA", "MD5")


class Library:
    def __init__(self, path=LIBRARY_PATH):
        self.dll = ctypes.CDLL(path)
        handle_ref = ctypes.POINTER(ctypes.c_void_p)
        for name in ONE_ARGUMENT_EXPORTS:
            fn = getattr(self.dll, name)
            fn.argtypes = [handle_ref]
            fn.restype = ctypes.c_void_p
        self.dll.DoubleHashPassword.argtypes = [
            handle_ref, ctypes.POINTER(ctypes.c_int32), ctypes.POINTER(ctypes.c_int32)]
        self.dll.DoubleHashPassword.restype = ctypes.c_void_p
        self.dll.SysAllocStringByteLen.argtypes = [ctypes.c_char_p, ctypes.c_uint]
        self.dll.SysAllocStringByteLen.restype = ctypes.c_void_p
        self.dll.SysFreeString.argtypes = [ctypes.c_void_p]
        self.dll.SysFreeString.restype = None
        self.dll.SysStringByteLen.argtypes = [ctypes.c_void_p]
        self.dll.SysStringByteLen.restype = ctypes.c_uint

    def make(self, data):
        """A new ByteString holding `data`; the caller frees it."""
        handle = self.dll.SysAllocStringByteLen(data, len(data))
        if handle is None:
            raise MemoryError
        return handle

    def read(self, handle):
        if not handle:
            return b""
        return ctypes.string_at(handle, self.dll.SysStringByteLen(handle))

    def free(self, handle):
        self.dll.SysFreeString(handle)

    def call(self, name, data, *tokens):
        """Calls an export on `data` (None: the null handle) and, for
        DoubleHashPassword, two tokens; returns the result bytes, freeing every
        string it made."""
        handle = None if data is None else self.make(data)
        variable = ctypes.c_void_p(handle)
        try:
            token_refs = [ctypes.byref(ctypes.c_int32(t)) for t in tokens]
            result = getattr(self.dll, name)(ctypes.byref(variable), *token_refs)
            if not result:
                raise AssertionError(f"{name} returned the null handle")
            try:
                return self.read(result)
            finally:
                self.free(result)
        finally:
            if handle is not None:
                self.free(handle)
