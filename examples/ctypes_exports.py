import ctypes

# After a build: LD_LIBRARY_PATH=build/release/src; after an install to a
# directory ldconfig knows (and `ldconfig` run), nothing.
lib = ctypes.CDLL("libquillet.so.0")
lib.SysAllocStringByteLen.restype = ctypes.c_void_p
lib.SysAllocStringByteLen.argtypes = [ctypes.c_char_p, ctypes.c_uint]
lib.SysFreeString.argtypes = [ctypes.c_void_p]
lib.StandardSHA.restype = ctypes.c_void_p
lib.StandardSHA.argtypes = [ctypes.POINTER(ctypes.c_void_p)]
lib.MD5.restype = ctypes.c_void_p
lib.MD5.argtypes = [ctypes.POINTER(ctypes.c_void_p)]
lib.DoubleHashPassword.restype = ctypes.c_void_p
lib.DoubleHashPassword.argtypes = [ctypes.POINTER(ctypes.c_void_p),
                                   ctypes.POINTER(ctypes.c_int32),
                                   ctypes.POINTER(ctypes.c_int32)]


def call(function, data, *tokens):
    """The export's result bytes; every string made here is freed."""
    argument = ctypes.c_void_p(lib.SysAllocStringByteLen(data, len(data)))
    if not argument.value:
        raise MemoryError
    references = [ctypes.byref(ctypes.c_int32(t)) for t in tokens]
    result = function(ctypes.byref(argument), *references)
    lib.SysFreeString(argument)
    if not result:  # null: memory ran out during the call
        raise MemoryError
    size = 32 if function is lib.MD5 else 20
    value = ctypes.string_at(result, size)
    lib.SysFreeString(result)
    return value


print(call(lib.StandardSHA, b"abc").hex())
print(call(lib.MD5, b"abc").decode())
print(call(lib.DoubleHashPassword, b"password", 0x12345678, -559038737).hex())  # 0xDEADBEEF
