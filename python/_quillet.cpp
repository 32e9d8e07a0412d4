// quillet._quillet: the library's digests as a CPython extension module,
// over the C++ API (quillet/digest.hpp), with the engines compiled in.
//
// Hash objects follow hashlib's: update(), digest(), hexdigest(), copy(),
// name, digest_size, block_size; any object with the buffer protocol is
// taken, str is refused as hashlib refuses it; the GIL is released while a
// buffer of 2 KiB or more is hashed, and an object then has a lock of its own,
// so that several threads may use one object at once.
#define PY_SSIZE_T_CLEAN
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wsign-conversion"
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wcast-align"
#pragma GCC diagnostic ignored "-Wundef"
#include <Python.h>
#include <pythread.h>
#pragma GCC diagnostic pop

#include <array>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>
#include <string_view>
#include <variant>

#include "common/secure_wipe.hpp"
#include "quillet/digest.hpp"

namespace {

// Buffers at least this long are hashed with the GIL released (hashlib's
// HASHLIB_GIL_MINSIZE).
constexpr Py_ssize_t kGilMinSize = 2048;

enum class Kind { kSha1, kBroken, kLockdown, kMd5 };

struct KindInfo {
  const char* name;
  int digest_size;
};
constexpr KindInfo kKinds[] = {{"sha1", 20}, {"broken_sha", 20}, {"lockdown_sha", 20}, {"md5", 16}};

using AnyHasher = std::variant<quillet::StandardShaHasher, quillet::BrokenShaHasher,
                               quillet::LockdownShaHasher, quillet::Md5Hasher>;

AnyHasher MakeHasher(Kind kind) {
  switch (kind) {
    case Kind::kSha1: return quillet::StandardShaHasher{};
    case Kind::kBroken: return quillet::BrokenShaHasher{};
    case Kind::kLockdown: return quillet::LockdownShaHasher{};
    case Kind::kMd5: break;
  }
  return quillet::Md5Hasher{};
}

// A caller's bytes, read through the buffer protocol as hashlib reads them.
class Bytes {
 public:
  // False, with the exception set, when `object` cannot be hashed.
  bool Get(PyObject* object) {
    if (PyUnicode_Check(object)) {
      PyErr_SetString(PyExc_TypeError, "Strings must be encoded before hashing");
      return false;
    }
    if (!PyObject_CheckBuffer(object)) {
      PyErr_SetString(PyExc_TypeError, "object supporting the buffer API required");
      return false;
    }
    if (PyObject_GetBuffer(object, &view_, PyBUF_SIMPLE) != 0) return false;
    held_ = true;
    return true;
  }
  ~Bytes() {
    if (held_) PyBuffer_Release(&view_);
  }
  std::span<const std::byte> span() const {
    return {static_cast<const std::byte*>(view_.buf), static_cast<std::size_t>(view_.len)};
  }
  Py_ssize_t size() const { return view_.len; }

 private:
  Py_buffer view_{};
  bool held_ = false;
};

struct HashObject {
  PyObject_HEAD
  Kind kind;
  PyThread_type_lock lock;
  alignas(AnyHasher) unsigned char storage[sizeof(AnyHasher)];
  AnyHasher& hasher() { return *std::launder(reinterpret_cast<AnyHasher*>(storage)); }
};

// Holds an object's lock, if it has one; waits for it with the GIL released
// when another thread has it. An object gets its lock (under the GIL) the
// first time a large buffer is hashed with the GIL released, as hashlib's
// objects do: until then the GIL alone orders the calls on it.
class Locked {
 public:
  explicit Locked(HashObject* self) : lock_(self->lock) {
    if (lock_ == nullptr) return;
    if (!PyThread_acquire_lock(lock_, 0)) {
      Py_BEGIN_ALLOW_THREADS
      PyThread_acquire_lock(lock_, 1);
      Py_END_ALLOW_THREADS
    }
  }
  ~Locked() {
    if (lock_ != nullptr) PyThread_release_lock(lock_);
  }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  PyThread_type_lock lock_;
};

PyTypeObject* HashType();

HashObject* NewHash(Kind kind) {
  HashObject* self = PyObject_New(HashObject, HashType());
  if (self == nullptr) return nullptr;
  self->kind = kind;
  self->lock = nullptr;
  new (self->storage) AnyHasher(MakeHasher(kind));
  return self;
}

// False, with MemoryError set, when the object needs a lock and none can
// be had.
bool Update(HashObject* self, const Bytes& bytes) {
  if (bytes.size() >= kGilMinSize && self->lock == nullptr) {
    self->lock = PyThread_allocate_lock();
    if (self->lock == nullptr) {
      PyErr_NoMemory();
      return false;
    }
  }
  const Locked locked(self);
  if (bytes.size() >= kGilMinSize) {
    Py_BEGIN_ALLOW_THREADS
    std::visit([&](auto& hasher) { hasher.Update(bytes.span()); }, self->hasher());
    Py_END_ALLOW_THREADS
  } else {
    std::visit([&](auto& hasher) { hasher.Update(bytes.span()); }, self->hasher());
  }
  return true;
}

// The digest of what has been taken in so far: a copy finishes, the object
// goes on.
std::array<std::uint8_t, 20> Peek(HashObject* self, int& size) {
  std::array<std::uint8_t, 20> out{};
  const Locked locked(self);
  std::visit(
      [&](auto& hasher) {
        auto copy = hasher;
        const auto digest = copy.Finish();
        std::memcpy(out.data(), digest.data(), digest.size());
        size = static_cast<int>(digest.size());
      },
      self->hasher());
  return out;
}

void HashDealloc(PyObject* object) {
  auto* self = reinterpret_cast<HashObject*>(object);
  self->hasher().~AnyHasher();  // the hashers wipe themselves
  quillet::SecureWipe(self->storage, sizeof self->storage);
  if (self->lock != nullptr) PyThread_free_lock(self->lock);
  PyTypeObject* type = Py_TYPE(object);
  PyObject_Free(self);
  Py_DECREF(type);  // instances of a heap type hold a reference to it
}

PyObject* HashUpdate(PyObject* object, PyObject* data) {
  Bytes bytes;
  if (!bytes.Get(data)) return nullptr;
  if (!Update(reinterpret_cast<HashObject*>(object), bytes)) return nullptr;
  Py_RETURN_NONE;
}

PyObject* HashDigest(PyObject* object, PyObject*) {
  int size = 0;
  const auto digest = Peek(reinterpret_cast<HashObject*>(object), size);
  return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(digest.data()), size);
}

PyObject* HashHexdigest(PyObject* object, PyObject*) {
  int size = 0;
  const auto digest = Peek(reinterpret_cast<HashObject*>(object), size);
  static constexpr char kDigits[] = "0123456789abcdef";
  char text[40];
  for (int i = 0; i < size; ++i) {
    text[2 * i] = kDigits[digest[static_cast<std::size_t>(i)] >> 4];
    text[2 * i + 1] = kDigits[digest[static_cast<std::size_t>(i)] & 15];
  }
  return PyUnicode_FromStringAndSize(text, 2 * size);
}

PyObject* HashCopy(PyObject* object, PyObject*) {
  auto* self = reinterpret_cast<HashObject*>(object);
  HashObject* copy = NewHash(self->kind);
  if (copy == nullptr) return nullptr;
  const Locked locked(self);
  copy->hasher() = self->hasher();
  return reinterpret_cast<PyObject*>(copy);
}

PyObject* HashName(PyObject* object, void*) {
  return PyUnicode_FromString(kKinds[static_cast<int>(reinterpret_cast<HashObject*>(object)->kind)].name);
}

PyObject* HashDigestSize(PyObject* object, void*) {
  return PyLong_FromLong(kKinds[static_cast<int>(reinterpret_cast<HashObject*>(object)->kind)].digest_size);
}

PyObject* HashBlockSize(PyObject*, void*) { return PyLong_FromLong(64); }

PyObject* HashRepr(PyObject* object) {
  return PyUnicode_FromFormat("<%s quillet object @ %p>",
                              kKinds[static_cast<int>(reinterpret_cast<HashObject*>(object)->kind)].name,
                              object);
}

PyMethodDef kHashMethods[] = {
    {"update", HashUpdate, METH_O, "Update this hash object's state with the provided bytes."},
    {"digest", HashDigest, METH_NOARGS, "Return the digest value as a bytes object."},
    {"hexdigest", HashHexdigest, METH_NOARGS,
     "Return the digest value as a string of lower-case hexadecimal digits."},
    {"copy", HashCopy, METH_NOARGS, "Return a copy of the hash object."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef kHashGetSet[] = {
    {"name", HashName, nullptr, nullptr, nullptr},
    {"digest_size", HashDigestSize, nullptr, nullptr, nullptr},
    {"block_size", HashBlockSize, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kHashSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(HashDealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(HashRepr)},
    {Py_tp_methods, kHashMethods},
    {Py_tp_getset, kHashGetSet},
    {Py_tp_doc, const_cast<char*>("A hash object with hashlib's interface.")},
    {0, nullptr},
};

PyType_Spec kHashSpec = {"quillet.Hash", sizeof(HashObject), 0, Py_TPFLAGS_DEFAULT, kHashSlots};

PyTypeObject* hash_type = nullptr;  // made once, when the module is imported

PyTypeObject* HashType() { return hash_type; }

// constructor(data=b"", *, usedforsecurity=True), as hashlib's.
PyObject* Construct(Kind kind, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"data", "usedforsecurity", nullptr};
  PyObject* data = nullptr;
  int used_for_security = 1;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O$p", const_cast<char**>(keywords), &data,
                                   &used_for_security)) {
    return nullptr;
  }
  Bytes bytes;
  if (data != nullptr && !bytes.Get(data)) return nullptr;
  HashObject* self = NewHash(kind);
  if (self == nullptr) return nullptr;
  if (data != nullptr && !Update(self, bytes)) {
    Py_DECREF(self);
    return nullptr;
  }
  return reinterpret_cast<PyObject*>(self);
}

PyObject* NewSha1(PyObject*, PyObject* args, PyObject* kwargs) { return Construct(Kind::kSha1, args, kwargs); }
PyObject* NewBroken(PyObject*, PyObject* args, PyObject* kwargs) { return Construct(Kind::kBroken, args, kwargs); }
PyObject* NewLockdown(PyObject*, PyObject* args, PyObject* kwargs) { return Construct(Kind::kLockdown, args, kwargs); }
PyObject* NewMd5(PyObject*, PyObject* args, PyObject* kwargs) { return Construct(Kind::kMd5, args, kwargs); }

// The exports' one-shot results.
template <typename Compute>
PyObject* OneShot(PyObject* data, Compute compute) {
  Bytes bytes;
  if (!bytes.Get(data)) return nullptr;
  decltype(compute(bytes.span())) result;
  if (bytes.size() >= kGilMinSize) {
    Py_BEGIN_ALLOW_THREADS
    result = compute(bytes.span());
    Py_END_ALLOW_THREADS
  } else {
    result = compute(bytes.span());
  }
  return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(result.data()),
                                   static_cast<Py_ssize_t>(result.size()));
}

PyObject* StandardSHA(PyObject*, PyObject* data) {
  return OneShot(data, [](std::span<const std::byte> d) { return quillet::StandardSHA(d); });
}
PyObject* BrokenSHA(PyObject*, PyObject* data) {
  return OneShot(data, [](std::span<const std::byte> d) { return quillet::BrokenSHA(d); });
}
PyObject* LockdownSHA(PyObject*, PyObject* data) {
  return OneShot(data, [](std::span<const std::byte> d) { return quillet::LockdownSHA(d); });
}
PyObject* MD5(PyObject*, PyObject* data) {
  return OneShot(data, [](std::span<const std::byte> d) { return quillet::MD5Hex(d); });
}

// A token: any int from -2**31 to 2**32-1, taken as its 32 bits.
bool Token(PyObject* value, const char* name, std::uint32_t& token) {
  if (!PyLong_Check(value)) {
    PyErr_Format(PyExc_TypeError, "%s must be an int, not %.100s", name, Py_TYPE(value)->tp_name);
    return false;
  }
  int overflow = 0;
  const long long number = PyLong_AsLongLongAndOverflow(value, &overflow);
  if (number == -1 && PyErr_Occurred()) return false;
  if (overflow != 0 || number < -2147483648LL || number > 4294967295LL) {
    PyErr_Format(PyExc_ValueError, "%s must be from -2**31 to 2**32-1", name);
    return false;
  }
  token = static_cast<std::uint32_t>(static_cast<std::uint64_t>(number) & 0xFFFFFFFFu);
  return true;
}

PyObject* DoubleHashPassword(PyObject*, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"password", "first_token", "second_token", nullptr};
  PyObject *password = nullptr, *first = nullptr, *second = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOO", const_cast<char**>(keywords), &password,
                                   &first, &second)) {
    return nullptr;
  }
  std::uint32_t first_token = 0, second_token = 0;
  if (!Token(first, "first_token", first_token) || !Token(second, "second_token", second_token)) {
    return nullptr;
  }
  // The password is read in place: the package makes no copy of it.
  return OneShot(password, [&](std::span<const std::byte> d) {
    return quillet::DoubleHashPassword(d, first_token, second_token);
  });
}

PyMethodDef kModuleMethods[] = {
    {"sha1", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(NewSha1)),
     METH_VARARGS | METH_KEYWORDS, "sha1(data=b'') -> a SHA-1 hash object"},
    {"broken_sha", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(NewBroken)),
     METH_VARARGS | METH_KEYWORDS, "broken_sha(data=b'') -> a BrokenSHA hash object"},
    {"lockdown_sha", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(NewLockdown)),
     METH_VARARGS | METH_KEYWORDS, "lockdown_sha(data=b'') -> a LockdownSHA hash object"},
    {"md5", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(NewMd5)),
     METH_VARARGS | METH_KEYWORDS, "md5(data=b'') -> an MD5 hash object"},
    {"StandardSHA", StandardSHA, METH_O, "StandardSHA(data) -> the 20 bytes of SHA-1"},
    {"BrokenSHA", BrokenSHA, METH_O, "BrokenSHA(data) -> the 20 bytes of BrokenSHA"},
    {"LockdownSHA", LockdownSHA, METH_O, "LockdownSHA(data) -> the 20 bytes of LockdownSHA"},
    {"MD5", MD5, METH_O, "MD5(data) -> MD5 as 32 bytes of upper-case hexadecimal text"},
    {"DoubleHashPassword",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(DoubleHashPassword)),
     METH_VARARGS | METH_KEYWORDS,
     "DoubleHashPassword(password, first_token, second_token) -> the 20-byte proof"},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef kModule = {PyModuleDef_HEAD_INIT, "_quillet",
                       "Quillet's digests: the engines behind the quillet package.", -1,
                       kModuleMethods, nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__quillet() {
  if (hash_type == nullptr) {
    hash_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&kHashSpec));
    if (hash_type == nullptr) return nullptr;
  }
  PyObject* module = PyModule_Create(&kModule);
  if (module == nullptr) return nullptr;
  Py_INCREF(hash_type);
  if (PyModule_AddObject(module, "Hash", reinterpret_cast<PyObject*>(hash_type)) != 0) {
    Py_DECREF(hash_type);
    Py_DECREF(module);
    return nullptr;
  }
  return module;
}
