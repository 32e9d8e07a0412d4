// quillet._quillet: the library's digests as a CPython extension module,
// over the C++ API (quillet/digest.hpp), with the engines compiled in.
//
// Hash objects follow hashlib's: update(), digest(), hexdigest(), copy(),
// name, digest_size, block_size; any object with the buffer protocol is
// taken, str is refused as hashlib refuses it; the type cannot be
// instantiated directly; the GIL is released while a buffer of 2 KiB or more
// is hashed, and an object then has a lock of its own, so that several
// threads may use one object at once.
//
// The module is initialised in phases (PEP 489): each import, in each
// interpreter, makes a module of its own with its own Hash type, held in the
// module's state; nothing is kept in globals. A build for the tests
// (QUILLET_TEST_HOOKS defined) adds _gil_releases() and Hash._locked, which
// the installed package does not have.
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

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string_view>

#include "quillet/digest.hpp"
#include "quillet/quillet.h"
#include "quillet/secure_wipe.hpp"

namespace {

// Buffers at least this long are hashed with the GIL released (hashlib's
// HASHLIB_GIL_MINSIZE).
constexpr Py_ssize_t kGilMinSize = 2048;
// file_digest's default read size, as hashlib's.
constexpr Py_ssize_t kFileBufferSize = 1 << 18;

// What one import of the module holds.
struct State {
  PyTypeObject* hash_type;
#if defined(QUILLET_TEST_HOOKS)
  // How many times the GIL was let go while hashing, read by the tests
  // (_gil_releases()) so that the threshold is seen to hold.
  std::size_t gil_releases;
#endif
};

State& StateOf(PyObject* module) { return *static_cast<State*>(PyModule_GetState(module)); }

// Counts a release of the GIL, in builds for the tests.
void CountRelease([[maybe_unused]] State& state) {
#if defined(QUILLET_TEST_HOOKS)
  ++state.gil_releases;
#endif
}

// A caller's bytes, read through the buffer protocol as hashlib reads them.
class Bytes {
 public:
  Bytes() = default;
  Bytes(const Bytes&) = delete;
  Bytes& operator=(const Bytes&) = delete;
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

// Runs `work` with the GIL released when `size` is large enough to repay it.
template <typename Work>
void MaybeWithoutGil(State& state, Py_ssize_t size, Work&& work) {
  if (size >= kGilMinSize) {
    CountRelease(state);
    Py_BEGIN_ALLOW_THREADS
    work();
    Py_END_ALLOW_THREADS
  } else {
    work();
  }
}

struct HashObject {
  PyObject_HEAD
  PyThread_type_lock lock;
  alignas(quillet::Hasher) unsigned char storage[sizeof(quillet::Hasher)];
  quillet::Hasher& hasher() { return *std::launder(reinterpret_cast<quillet::Hasher*>(storage)); }
};

// The state of the module whose type the object is.
State& StateOf(HashObject* self) {
  return *static_cast<State*>(PyType_GetModuleState(Py_TYPE(self)));
}

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

// A new object of `type` (a module's Hash type) holding a copy of `from`.
HashObject* NewHash(PyTypeObject* type, const quillet::Hasher& from) {
  HashObject* self = PyObject_New(HashObject, type);
  if (self == nullptr) return nullptr;
  self->lock = nullptr;
  new (self->storage) quillet::Hasher(from);
  return self;
}

HashObject* NewHash(State& state, quillet::Algorithm algorithm) {
  return NewHash(state.hash_type, quillet::Hasher(algorithm));
}

// Whether `object` is a hash object of this module's.
bool IsHash(State& state, PyObject* object) { return Py_IS_TYPE(object, state.hash_type); }

// Feeds `bytes` to the object. False, with MemoryError set, when the object
// needs a lock and none can be had.
bool Update(HashObject* self, std::span<const std::byte> bytes) {
  const auto size = static_cast<Py_ssize_t>(bytes.size());
  if (size >= kGilMinSize && self->lock == nullptr) {
    self->lock = PyThread_allocate_lock();
    if (self->lock == nullptr) {
      PyErr_NoMemory();
      return false;
    }
  }
  const Locked locked(self);
  MaybeWithoutGil(StateOf(self), size, [&] { self->hasher().Update(bytes); });
  return true;
}

// The digest of what has been taken in so far: a copy finishes, the object
// goes on.
quillet::Digest Peek(HashObject* self) {
  const Locked locked(self);
  quillet::Hasher copy = self->hasher();
  return copy.Finish();
}

void HashDealloc(PyObject* object) {
  auto* self = reinterpret_cast<HashObject*>(object);
  self->hasher().~Hasher();  // the hashers wipe themselves
  quillet::SecureWipe(self->storage, sizeof self->storage);
  if (self->lock != nullptr) PyThread_free_lock(self->lock);
  PyTypeObject* type = Py_TYPE(object);
  PyObject_Free(self);
  Py_DECREF(type);  // instances of a heap type hold a reference to it
}

PyObject* HashUpdate(PyObject* object, PyObject* data) {
  Bytes bytes;
  if (!bytes.Get(data)) return nullptr;
  if (!Update(reinterpret_cast<HashObject*>(object), bytes.span())) return nullptr;
  Py_RETURN_NONE;
}

PyObject* HashDigest(PyObject* object, PyObject*) {
  quillet::Digest digest = Peek(reinterpret_cast<HashObject*>(object));
  PyObject* bytes = PyBytes_FromStringAndSize(reinterpret_cast<const char*>(digest.data()),
                                              static_cast<Py_ssize_t>(digest.size()));
  quillet::SecureWipeObject(digest);  // the bytes object is the only copy left
  return bytes;
}

PyObject* HashHexdigest(PyObject* object, PyObject*) {
  quillet::Digest digest = Peek(reinterpret_cast<HashObject*>(object));
  quillet::DigestText text = quillet::ToHex(digest);
  quillet::SecureWipeObject(digest);
  PyObject* str = PyUnicode_FromStringAndSize(text.chars.data(), static_cast<Py_ssize_t>(text.size));
  quillet::SecureWipeObject(text);
  return str;
}

PyObject* HashCopy(PyObject* object, PyObject*) {
  auto* self = reinterpret_cast<HashObject*>(object);
  const Locked locked(self);
  return reinterpret_cast<PyObject*>(NewHash(Py_TYPE(object), self->hasher()));
}

const quillet::AlgorithmInfo& InfoOf(PyObject* object) {
  return reinterpret_cast<HashObject*>(object)->hasher().info();
}

PyObject* HashName(PyObject* object, void*) {
  const std::string_view name = InfoOf(object).name;
  return PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
}

PyObject* HashDigestSize(PyObject* object, void*) {
  return PyLong_FromSize_t(InfoOf(object).digest_size);
}

PyObject* HashBlockSize(PyObject* object, void*) {
  return PyLong_FromSize_t(InfoOf(object).block_size);
}

#if defined(QUILLET_TEST_HOOKS)
// Whether the object has its lock.
PyObject* HashLocked(PyObject* object, void*) {
  return PyBool_FromLong(reinterpret_cast<HashObject*>(object)->lock != nullptr);
}
#endif

PyObject* HashRepr(PyObject* object) {
  const std::string name(InfoOf(object).name);
  return PyUnicode_FromFormat("<%s quillet.Hash object @ %p>", name.c_str(), object);
}

PyMethodDef kHashMethods[] = {
    {"update", HashUpdate, METH_O,
     "update($self, obj, /)\n--\n\nUpdate this hash object's state with the provided bytes."},
    {"digest", HashDigest, METH_NOARGS,
     "digest($self, /)\n--\n\nReturn the digest value as a bytes object."},
    {"hexdigest", HashHexdigest, METH_NOARGS,
     "hexdigest($self, /)\n--\n\nReturn the digest value as a string of lower-case hexadecimal "
     "digits."},
    {"copy", HashCopy, METH_NOARGS, "copy($self, /)\n--\n\nReturn a copy of the hash object."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef kHashGetSet[] = {
    {"name", HashName, nullptr, nullptr, nullptr},
    {"digest_size", HashDigestSize, nullptr, nullptr, nullptr},
    {"block_size", HashBlockSize, nullptr, nullptr, nullptr},
#if defined(QUILLET_TEST_HOOKS)
    {"_locked", HashLocked, nullptr, nullptr, nullptr},
#endif
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

// Made only by the constructors, as hashlib's HASH: an object made any other
// way would have no hasher in it.
#if defined(Py_TPFLAGS_DISALLOW_INSTANTIATION)
constexpr unsigned long kHashFlags =
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION;
#else
constexpr unsigned long kHashFlags = Py_TPFLAGS_DEFAULT;  // tp_new cleared at import
#endif
PyType_Spec kHashSpec = {"quillet.Hash", sizeof(HashObject), 0,
                         static_cast<unsigned int>(kHashFlags), kHashSlots};

// The data a constructor was given, as `data` (positional or keyword) or
// `string` (hashlib's keyword); both is an error.
bool InitialData(const char* function, PyObject* data, PyObject* string, PyObject*& out) {
  if (data != nullptr && string != nullptr) {
    PyErr_Format(PyExc_TypeError,
                 "'data' and 'string' are mutually exclusive in %s(); 'string' is hashlib's "
                 "name for 'data'",
                 function);
    return false;
  }
  out = data != nullptr ? data : string;
  return true;
}

// A new hash object of `algorithm`, fed `initial` when given.
PyObject* Make(State& state, quillet::Algorithm algorithm, PyObject* initial) {
  Bytes bytes;
  if (initial != nullptr && !bytes.Get(initial)) return nullptr;
  HashObject* self = NewHash(state, algorithm);
  if (self == nullptr) return nullptr;
  if (initial != nullptr && !Update(self, bytes.span())) {
    Py_DECREF(self);
    return nullptr;
  }
  return reinterpret_cast<PyObject*>(self);
}

// function(string=b'', *, usedforsecurity=True, data=None), the
// constructor named `function`, as hashlib's in 3.11 (string) and later
// (data).
PyObject* Construct(PyObject* module, quillet::Algorithm algorithm, const char* function,
                    PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"string", "usedforsecurity", "data", nullptr};
  // What follows the ':' is the name PyArg's messages give the function.
  char format[32];
  std::snprintf(format, sizeof format, "|O$pO:%s", function);
  PyObject *string = nullptr, *data = nullptr;
  int used_for_security = 1;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, format, const_cast<char**>(keywords), &string,
                                   &used_for_security, &data)) {
    return nullptr;
  }
  PyObject* initial = nullptr;
  if (!InitialData(function, data, string, initial)) return nullptr;
  return Make(StateOf(module), algorithm, initial);
}

PyObject* NewSha1(PyObject* module, PyObject* args, PyObject* kwargs) {
  return Construct(module, quillet::Algorithm::kStandardSha, "sha1", args, kwargs);
}
PyObject* NewBroken(PyObject* module, PyObject* args, PyObject* kwargs) {
  return Construct(module, quillet::Algorithm::kBrokenSha, "broken_sha", args, kwargs);
}
PyObject* NewLockdown(PyObject* module, PyObject* args, PyObject* kwargs) {
  return Construct(module, quillet::Algorithm::kLockdownSha, "lockdown_sha", args, kwargs);
}
PyObject* NewMd5(PyObject* module, PyObject* args, PyObject* kwargs) {
  return Construct(module, quillet::Algorithm::kMd5, "md5", args, kwargs);
}

// The algorithm named `name` (a str, any case), or nullopt with ValueError or
// TypeError set.
std::optional<quillet::Algorithm> AlgorithmNamed(PyObject* name) {
  if (!PyUnicode_Check(name)) {
    PyErr_Format(PyExc_TypeError, "name must be a str, not %.100s", Py_TYPE(name)->tp_name);
    return std::nullopt;
  }
  Py_ssize_t length = 0;
  const char* text = PyUnicode_AsUTF8AndSize(name, &length);
  if (text == nullptr) return std::nullopt;
  const auto algorithm =
      quillet::FindAlgorithm(std::string_view(text, static_cast<std::size_t>(length)));
  if (!algorithm) PyErr_Format(PyExc_ValueError, "unsupported hash type %U", name);
  return algorithm;
}

// new(name, data=b'', **kwargs), as hashlib.new: the keywords are the
// constructors' (usedforsecurity, string).
PyObject* New(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"name", "data", "usedforsecurity", "string", nullptr};
  PyObject *name = nullptr, *data = nullptr, *string = nullptr;
  int used_for_security = 1;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|O$pO:new", const_cast<char**>(keywords), &name,
                                   &data, &used_for_security, &string)) {
    return nullptr;
  }
  const auto algorithm = AlgorithmNamed(name);
  if (!algorithm) return nullptr;
  PyObject* initial = nullptr;
  if (!InitialData("new", data, string, initial)) return nullptr;
  return Make(StateOf(module), *algorithm, initial);
}

// The digests of `items`' (a tuple's) as a list of bytes; nullptr with the
// exception set. Every buffer is held (none can be resized) while they are
// hashed side by side with the GIL released. A tuple, because taking a buffer
// may run Python code (__buffer__) that changes a list under the loop.
PyObject* DigestsOf(State& state, quillet::Algorithm algorithm, PyObject* items) {
  const auto count = static_cast<std::size_t>(PyTuple_GET_SIZE(items));
  const std::unique_ptr<Bytes[]> held(new (std::nothrow) Bytes[count]);
  const std::unique_ptr<quillet::ByteView[]> views(new (std::nothrow) quillet::ByteView[count]);
  const std::unique_ptr<quillet::Digest[]> digests(new (std::nothrow) quillet::Digest[count]);
  if (!held || !views || !digests) return PyErr_NoMemory();
  Py_ssize_t total = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (!held[i].Get(PyTuple_GET_ITEM(items, static_cast<Py_ssize_t>(i)))) {
      return nullptr;
    }
    views[i] = held[i].span();
    total += std::min(held[i].size(), PY_SSIZE_T_MAX - total);
  }
  MaybeWithoutGil(state, total, [&] {
    quillet::DigestMany(algorithm, std::span(views.get(), count), std::span(digests.get(), count));
  });
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(count));
  for (std::size_t i = 0; list != nullptr && i < count; ++i) {
    PyObject* item = PyBytes_FromStringAndSize(reinterpret_cast<const char*>(digests[i].data()),
                                               static_cast<Py_ssize_t>(digests[i].size()));
    if (item == nullptr) Py_CLEAR(list);
    else PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), item);
  }
  quillet::SecureWipe(digests.get(), count * sizeof(quillet::Digest));
  return list;
}

// digest_many(name, messages): the digest of each message (any iterable of
// bytes-like objects), as bytes, in a list; names as new().
PyObject* DigestMany(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"name", "messages", nullptr};
  PyObject *name = nullptr, *messages = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO:digest_many", const_cast<char**>(keywords),
                                   &name, &messages)) {
    return nullptr;
  }
  const auto algorithm = AlgorithmNamed(name);
  if (!algorithm) return nullptr;
  PyObject* sequence =
      PySequence_Fast(messages, "digest_many() messages must be an iterable of bytes-like objects");
  if (sequence == nullptr) return nullptr;
  // The caller's list is copied: the tuple's items cannot be taken away.
  PyObject* items = sequence;
  if (PyList_Check(sequence)) {
    items = PyList_AsTuple(sequence);
    Py_DECREF(sequence);
  }
  if (items == nullptr) return nullptr;
  PyObject* list = DigestsOf(StateOf(module), *algorithm, items);
  Py_DECREF(items);
  return list;
}

// Reads the open file `fd` to its end into `self`, a chunk at a time with the
// GIL released, checking for signals between chunks. False with the
// exception set on a read error or a signal's exception.
bool DigestDescriptor(HashObject* self, int fd) {
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  void* buffer = std::malloc(kChunk);
  if (buffer == nullptr) {
    PyErr_NoMemory();
    return false;
  }
  if (self->lock == nullptr) self->lock = PyThread_allocate_lock();
  bool ok = self->lock != nullptr;
  if (!ok) PyErr_NoMemory();
  const Locked locked(self);
  while (ok) {
    ssize_t got = 0;
    int error = 0;
    CountRelease(StateOf(self));
    Py_BEGIN_ALLOW_THREADS
    got = read(fd, buffer, kChunk);
    if (got < 0) error = errno;
    if (got > 0) {
      self->hasher().Update(
          std::span<const std::byte>(static_cast<const std::byte*>(buffer), static_cast<std::size_t>(got)));
    }
    Py_END_ALLOW_THREADS
    if (got == 0) break;
    if (got < 0 && error != EINTR) {
      errno = error;
      PyErr_SetFromErrno(PyExc_OSError);
      ok = false;
    } else if (PyErr_CheckSignals() != 0) {
      ok = false;
    }
  }
  quillet::SecureWipe(buffer, kChunk);
  std::free(buffer);
  return ok;
}

// The descriptor to read `fileobj` from directly, or -1: only for an
// io.FileIO or io.BufferedReader that is seekable and holds nothing read
// ahead (its position is the descriptor's), so that reading the descriptor
// gives exactly what reading the object would. Clears any error it meets.
int DirectDescriptor(PyObject* fileobj) {
  PyObject* io = PyImport_ImportModule("io");
  if (io == nullptr) {
    PyErr_Clear();
    return -1;
  }
  int fd = -1;
  PyObject* file_io = PyObject_GetAttrString(io, "FileIO");
  PyObject* buffered = PyObject_GetAttrString(io, "BufferedReader");
  const bool known = file_io != nullptr && buffered != nullptr &&
                     (Py_IS_TYPE(fileobj, reinterpret_cast<PyTypeObject*>(file_io)) ||
                      Py_IS_TYPE(fileobj, reinterpret_cast<PyTypeObject*>(buffered)));
  Py_XDECREF(file_io);
  Py_XDECREF(buffered);
  Py_DECREF(io);
  if (known) {
    PyObject* seekable = PyObject_CallMethod(fileobj, "seekable", nullptr);
    PyObject* position = seekable != nullptr && PyObject_IsTrue(seekable) == 1
                             ? PyObject_CallMethod(fileobj, "tell", nullptr)
                             : nullptr;
    const int candidate = position != nullptr ? PyObject_AsFileDescriptor(fileobj) : -1;
    if (candidate >= 0) {
      const long long logical = PyLong_AsLongLong(position);
      const off_t actual = lseek(candidate, 0, SEEK_CUR);
      if (!PyErr_Occurred() && actual >= 0 && actual == logical) fd = candidate;
    }
    Py_XDECREF(seekable);
    Py_XDECREF(position);
  }
  PyErr_Clear();
  return fd;
}

// file_digest(fileobj, digest, /, *, _bufsize=262144), as
// hashlib.file_digest: the digest of what is left to read in `fileobj`
// (the whole buffer of an io.BytesIO). A regular file opened with open() is
// read here, in C, with the GIL released; other objects through readinto().
PyObject* FileDigest(PyObject* module, PyObject* args, PyObject* kwargs) {
  State& state = StateOf(module);
  static const char* keywords[] = {"", "", "_bufsize", nullptr};
  PyObject *fileobj = nullptr, *digest = nullptr;
  Py_ssize_t buffer_size = kFileBufferSize;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO|$n:file_digest", const_cast<char**>(keywords),
                                   &fileobj, &digest, &buffer_size)) {
    return nullptr;
  }
  if (buffer_size <= 0) {
    PyErr_SetString(PyExc_ValueError, "_bufsize must be positive");
    return nullptr;
  }
  PyObject* hash = nullptr;
  if (PyUnicode_Check(digest)) {
    const auto algorithm = AlgorithmNamed(digest);
    if (!algorithm) return nullptr;
    hash = reinterpret_cast<PyObject*>(NewHash(state, *algorithm));
  } else {
    hash = PyObject_CallNoArgs(digest);
  }
  if (hash == nullptr) return nullptr;
  const auto feed = [hash](PyObject* chunk) {
    PyObject* done = PyObject_CallMethod(hash, "update", "O", chunk);
    Py_XDECREF(done);
    return done != nullptr;
  };

  // io.BytesIO: its whole buffer, without a copy.
  if (PyObject_HasAttrString(fileobj, "getbuffer")) {
    PyObject* buffer = PyObject_CallMethod(fileobj, "getbuffer", nullptr);
    const bool ok = buffer != nullptr && feed(buffer);
    Py_XDECREF(buffer);
    if (!ok) Py_CLEAR(hash);
    return hash;
  }
  // Only binary files have readinto(); one opened for writing alone is
  // refused here, before its descriptor is read.
  PyObject* readable = PyObject_HasAttrString(fileobj, "readinto") &&
                               PyObject_HasAttrString(fileobj, "readable")
                           ? PyObject_CallMethod(fileobj, "readable", nullptr)
                           : nullptr;
  const int is_readable = readable != nullptr ? PyObject_IsTrue(readable) : 0;
  Py_XDECREF(readable);
  if (is_readable != 1) {
    if (is_readable == 0 || !PyErr_Occurred()) {
      PyErr_Clear();
      PyErr_Format(PyExc_ValueError, "'%R' is not a file-like object in binary reading mode.",
                   fileobj);
    }
    Py_DECREF(hash);
    return nullptr;
  }
  if (IsHash(state, hash)) {
    const int fd = DirectDescriptor(fileobj);
    if (fd >= 0) {
      bool ok = DigestDescriptor(reinterpret_cast<HashObject*>(hash), fd);
      // Where the file object would be after reading it all: at its end.
      PyObject* moved = ok ? PyObject_CallMethod(fileobj, "seek", "ii", 0, SEEK_END) : nullptr;
      ok = ok && moved != nullptr;
      Py_XDECREF(moved);
      if (!ok) Py_CLEAR(hash);
      return hash;
    }
  }
  // The buffer handed to readinto() stays locked by one buffer export for
  // the whole loop, so that nothing (readinto, a digest's update) can resize
  // or free it under the loop: `held` (which no Python code can reach) is what is hashed and
  // wiped; a digest object not of ours is given slices of `view`, which keep
  // the buffer alive for as long as it keeps them.
  PyObject* buffer = PyByteArray_FromStringAndSize(nullptr, buffer_size);
  if (buffer == nullptr) {
    Py_DECREF(hash);
    return nullptr;
  }
  std::memset(PyByteArray_AS_STRING(buffer), 0, static_cast<std::size_t>(buffer_size));
  Py_buffer held{};
  if (PyObject_GetBuffer(buffer, &held, PyBUF_WRITABLE) != 0) {
    Py_DECREF(buffer);
    Py_DECREF(hash);
    return nullptr;
  }
  PyObject* view = PyMemoryView_FromObject(buffer);
  bool ok = view != nullptr;
  while (ok) {
    PyObject* got = PyObject_CallMethod(fileobj, "readinto", "O", buffer);
    const Py_ssize_t size = got != nullptr ? PyNumber_AsSsize_t(got, nullptr) : -1;
    if (size == -1 && PyErr_Occurred()) {
      Py_XDECREF(got);
      ok = false;
      break;
    }
    if (size < 0 || size > held.len) {
      PyErr_Format(PyExc_ValueError,
                   "readinto() returned invalid length %R (should have been between 0 and %zd)",
                   got, held.len);
      Py_DECREF(got);
      ok = false;
      break;
    }
    Py_DECREF(got);
    if (size == 0) break;
    if (IsHash(state, hash)) {
      ok = Update(reinterpret_cast<HashObject*>(hash),
                  std::span(static_cast<const std::byte*>(held.buf), static_cast<std::size_t>(size)));
    } else {
      PyObject* chunk = PySequence_GetSlice(view, 0, size);
      ok = chunk != nullptr && feed(chunk);
      Py_XDECREF(chunk);
    }
  }
  quillet::SecureWipe(held.buf, static_cast<std::size_t>(held.len));
  Py_XDECREF(view);
  PyBuffer_Release(&held);
  Py_DECREF(buffer);
  if (!ok) Py_CLEAR(hash);
  return hash;
}

// The exports' one-shot results.
template <typename Compute>
PyObject* OneShot(PyObject* module, PyObject* data, Compute compute) {
  Bytes bytes;
  if (!bytes.Get(data)) return nullptr;
  decltype(compute(bytes.span())) result;
  MaybeWithoutGil(StateOf(module), bytes.size(), [&] { result = compute(bytes.span()); });
  return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(result.data()),
                                   static_cast<Py_ssize_t>(result.size()));
}

PyObject* StandardSHA(PyObject* module, PyObject* data) {
  return OneShot(module, data, [](std::span<const std::byte> d) { return quillet::StandardSHA(d); });
}
PyObject* BrokenSHA(PyObject* module, PyObject* data) {
  return OneShot(module, data, [](std::span<const std::byte> d) { return quillet::BrokenSHA(d); });
}
PyObject* LockdownSHA(PyObject* module, PyObject* data) {
  return OneShot(module, data, [](std::span<const std::byte> d) { return quillet::LockdownSHA(d); });
}
PyObject* MD5(PyObject* module, PyObject* data) {
  return OneShot(module, data, [](std::span<const std::byte> d) { return quillet::MD5Hex(d); });
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

PyObject* DoubleHashPassword(PyObject* module, PyObject* args, PyObject* kwargs) {
  static const char* keywords[] = {"password", "first_token", "second_token", nullptr};
  PyObject *password = nullptr, *first = nullptr, *second = nullptr;
  if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOO:DoubleHashPassword",
                                   const_cast<char**>(keywords), &password, &first, &second)) {
    return nullptr;
  }
  std::uint32_t first_token = 0, second_token = 0;
  if (!Token(first, "first_token", first_token) || !Token(second, "second_token", second_token)) {
    return nullptr;
  }
  // The password is read in place: the package makes no copy of it.
  return OneShot(module, password, [&](std::span<const std::byte> d) {
    return quillet::DoubleHashPassword(d, first_token, second_token);
  });
}

#if defined(QUILLET_TEST_HOOKS)
PyObject* GilReleases(PyObject* module, PyObject*) {
  return PyLong_FromSize_t(StateOf(module).gil_releases);
}
#endif

template <auto function>
PyCFunction WithKeywords() {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

PyMethodDef kModuleMethods[] = {
    {"sha1", WithKeywords<NewSha1>(), METH_VARARGS | METH_KEYWORDS,
     "sha1($module, /, string=b'', *, usedforsecurity=True, data=None)\n--\n\n"
     "Return a SHA-1 hash object, optionally fed the bytes given."},
    {"broken_sha", WithKeywords<NewBroken>(), METH_VARARGS | METH_KEYWORDS,
     "broken_sha($module, /, string=b'', *, usedforsecurity=True, data=None)\n--\n\n"
     "Return a BrokenSHA hash object, optionally fed the bytes given."},
    {"lockdown_sha", WithKeywords<NewLockdown>(), METH_VARARGS | METH_KEYWORDS,
     "lockdown_sha($module, /, string=b'', *, usedforsecurity=True, data=None)\n--\n\n"
     "Return a LockdownSHA hash object, optionally fed the bytes given."},
    {"md5", WithKeywords<NewMd5>(), METH_VARARGS | METH_KEYWORDS,
     "md5($module, /, string=b'', *, usedforsecurity=True, data=None)\n--\n\n"
     "Return an MD5 hash object, optionally fed the bytes given."},
    {"new", WithKeywords<New>(), METH_VARARGS | METH_KEYWORDS,
     "new($module, /, name, data=b'', **kwargs)\n--\n\n"
     "Return a hash object for the algorithm `name` (any case), as hashlib.new."},
    {"file_digest", WithKeywords<FileDigest>(), METH_VARARGS | METH_KEYWORDS,
     "file_digest($module, fileobj, digest, /, *, _bufsize=262144)\n--\n\n"
     "Return a hash object fed the rest of a file object opened for binary reading, as\n"
     "hashlib.file_digest; `digest` is a name or a constructor."},
    {"digest_many", WithKeywords<DigestMany>(), METH_VARARGS | METH_KEYWORDS,
     "digest_many($module, /, name, messages)\n--\n\n"
     "Return the digest of each of `messages` (an iterable of bytes-like objects), as\n"
     "bytes, in a list: several hashed side by side where the CPU can, the GIL released."},
    {"StandardSHA", StandardSHA, METH_O,
     "StandardSHA($module, data, /)\n--\n\nReturn the 20 bytes of SHA-1 of `data`."},
    {"BrokenSHA", BrokenSHA, METH_O,
     "BrokenSHA($module, data, /)\n--\n\nReturn the 20 bytes of BrokenSHA of `data`."},
    {"LockdownSHA", LockdownSHA, METH_O,
     "LockdownSHA($module, data, /)\n--\n\nReturn the 20 bytes of LockdownSHA of `data`."},
    {"MD5", MD5, METH_O,
     "MD5($module, data, /)\n--\n\n"
     "Return MD5 of `data` as 32 bytes of upper-case hexadecimal text."},
    {"DoubleHashPassword", WithKeywords<DoubleHashPassword>(), METH_VARARGS | METH_KEYWORDS,
     "DoubleHashPassword($module, /, password, first_token, second_token)\n--\n\n"
     "Return the 20-byte password proof; tokens from -2**31 to 2**32-1."},
#if defined(QUILLET_TEST_HOOKS)
    {"_gil_releases", GilReleases, METH_NOARGS,
     "_gil_releases($module, /)\n--\n\nHow many times hashing let the GIL go."},
#endif
    {nullptr, nullptr, 0, nullptr},
};

// Makes the module's Hash type and fills the module in.
int Exec(PyObject* module) {
  State& state = StateOf(module);
  state.hash_type =
      reinterpret_cast<PyTypeObject*>(PyType_FromModuleAndSpec(module, &kHashSpec, nullptr));
  if (state.hash_type == nullptr) return -1;
#if !defined(Py_TPFLAGS_DISALLOW_INSTANTIATION)
  state.hash_type->tp_new = nullptr;
#endif
  if (PyModule_AddType(module, state.hash_type) != 0 ||
      PyModule_AddStringConstant(module, "__version__", QUILLET_VERSION_STRING) != 0 ||
      PyModule_AddIntConstant(module, "_GIL_MINSIZE", kGilMinSize) != 0) {
    return -1;
  }
  return 0;
}

// The state's reference to the type is shown to the collector: the type holds
// the module and each object holds the type, so a module no longer imported
// is collected with the last of its objects.
int Traverse(PyObject* module, visitproc visit, void* arg) {
  Py_VISIT(StateOf(module).hash_type);
  return 0;
}

int Clear(PyObject* module) {
  Py_CLEAR(StateOf(module).hash_type);
  return 0;
}

void Free(void* module) { Clear(static_cast<PyObject*>(module)); }

PyModuleDef_Slot kModuleSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(Exec)},
#if defined(Py_mod_multiple_interpreters)
    // Nothing is shared between interpreters but the library's code, which
    // several threads already run at once.
    {Py_mod_multiple_interpreters, Py_MOD_PER_INTERPRETER_GIL_SUPPORTED},
#endif
    {0, nullptr},
};

PyModuleDef kModule = {PyModuleDef_HEAD_INIT,
                       "_quillet",
                       "Quillet's digests: the engines behind the quillet package.",
                       sizeof(State),
                       kModuleMethods,
                       kModuleSlots,
                       Traverse,
                       Clear,
                       Free};

}  // namespace

PyMODINIT_FUNC PyInit__quillet() { return PyModuleDef_Init(&kModule); }
