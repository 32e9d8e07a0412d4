// The Node.js addon: the C++ API's hashers and one-shot functions through
// Node-API's C interface (node_api.h, from the installed Node.js). What it
// takes is checked by the JavaScript layer (lib/core.mjs), which gives it
// only Uint8Arrays, algorithm numbers and 32-bit tokens, and a Uint8Array of
// the result's size for each result (a Buffer from Node.js's pool: making
// one here would cost more than a short digest); it checks again, so that
// nothing it is given can crash the process.
#include <node_api.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "quillet/digest.hpp"
#include "quillet/secure_wipe.hpp"

namespace {

// Throws a TypeError with `code` and returns nullptr, for the callers'
// `return` statements.
napi_value Fail(napi_env env, const char* code, const char* message) {
  napi_throw_type_error(env, code, message);
  return nullptr;
}

bool Arguments(napi_env env, napi_callback_info info, std::size_t want, napi_value* args) {
  std::size_t count = want;
  if (napi_get_cb_info(env, info, &count, args, nullptr, nullptr) != napi_ok) return false;
  for (std::size_t i = count; i < want; ++i) napi_get_undefined(env, &args[i]);
  return true;
}

// The bytes of a Uint8Array (or any TypedArray, or a Buffer).
bool BytesOf(napi_env env, napi_value value, quillet::ByteView& bytes) {
  bool is_typed = false;
  if (napi_is_typedarray(env, value, &is_typed) != napi_ok || !is_typed) return false;
  napi_typedarray_type type;
  std::size_t length = 0;
  void* data = nullptr;
  napi_value buffer;
  std::size_t offset = 0;
  if (napi_get_typedarray_info(env, value, &type, &length, &data, &buffer, &offset) != napi_ok) {
    return false;
  }
  std::size_t element = 1;
  switch (type) {
    case napi_int16_array: case napi_uint16_array: element = 2; break;
    case napi_int32_array: case napi_uint32_array: case napi_float32_array: element = 4; break;
    case napi_float64_array: case napi_bigint64_array: case napi_biguint64_array: element = 8; break;
    default: break;
  }
  bytes = std::span<const std::byte>(static_cast<const std::byte*>(data), length * element);
  return true;
}

bool Uint32Of(napi_env env, napi_value value, std::uint32_t& out) {
  return napi_get_value_uint32(env, value, &out) == napi_ok;
}

// Where a result of `size` bytes goes: a Uint8Array of exactly that size.
std::uint8_t* ResultOf(napi_env env, napi_value value, std::size_t size) {
  bool is_typed = false;
  napi_typedarray_type type;
  std::size_t length = 0;
  void* data = nullptr;
  if (napi_is_typedarray(env, value, &is_typed) != napi_ok || !is_typed ||
      napi_get_typedarray_info(env, value, &type, &length, &data, nullptr, nullptr) != napi_ok ||
      type != napi_uint8_array || length != size) {
    return nullptr;
  }
  return static_cast<std::uint8_t*>(data);
}

void DeleteHasher(napi_env, void* data, void*) { delete static_cast<quillet::Hasher*>(data); }

napi_value WrapHasher(napi_env env, quillet::Hasher* hasher) {
  if (hasher == nullptr) {
    napi_throw_error(env, "ERR_MEMORY_ALLOCATION_FAILED", "Out of memory");
    return nullptr;
  }
  napi_value external;
  if (napi_create_external(env, hasher, DeleteHasher, nullptr, &external) != napi_ok) {
    delete hasher;
    return nullptr;
  }
  return external;
}

quillet::Hasher* HasherOf(napi_env env, napi_value value) {
  napi_valuetype type;
  void* data = nullptr;
  if (napi_typeof(env, value, &type) != napi_ok || type != napi_external ||
      napi_get_value_external(env, value, &data) != napi_ok) {
    return nullptr;
  }
  return static_cast<quillet::Hasher*>(data);
}

// newHasher(algorithm): a hasher of Algorithms()[algorithm].
napi_value NewHasher(napi_env env, napi_callback_info info) {
  napi_value args[1];
  std::uint32_t algorithm = 0;
  if (!Arguments(env, info, 1, args) || !Uint32Of(env, args[0], algorithm) ||
      algorithm >= quillet::Algorithms().size()) {
    return Fail(env, "ERR_INVALID_ARG_VALUE", "unknown algorithm");
  }
  return WrapHasher(env, new (std::nothrow)
                             quillet::Hasher(quillet::Algorithms()[algorithm].algorithm));
}

// update(hasher, bytes)
napi_value Update(napi_env env, napi_callback_info info) {
  napi_value args[2];
  quillet::ByteView bytes;
  quillet::Hasher* hasher = nullptr;
  if (!Arguments(env, info, 2, args) || (hasher = HasherOf(env, args[0])) == nullptr ||
      !BytesOf(env, args[1], bytes)) {
    return Fail(env, "ERR_INVALID_ARG_TYPE", "update(hasher, Uint8Array)");
  }
  hasher->Update(bytes);
  return nullptr;
}

// finish(hasher, out): the digest's bytes into `out`; the hasher starts anew.
napi_value Finish(napi_env env, napi_callback_info info) {
  napi_value args[2];
  quillet::Hasher* hasher = nullptr;
  std::uint8_t* out = nullptr;
  if (!Arguments(env, info, 2, args) || (hasher = HasherOf(env, args[0])) == nullptr ||
      (out = ResultOf(env, args[1], hasher->info().digest_size)) == nullptr) {
    return Fail(env, "ERR_INVALID_ARG_TYPE", "finish(hasher, Uint8Array)");
  }
  quillet::Digest digest = hasher->Finish();
  std::memcpy(out, digest.data(), digest.size());
  quillet::SecureWipeObject(digest);  // the caller's copy is the only one left
  return nullptr;
}

// copy(hasher): a new hasher that goes on from the same point.
napi_value Copy(napi_env env, napi_callback_info info) {
  napi_value args[1];
  quillet::Hasher* hasher = nullptr;
  if (!Arguments(env, info, 1, args) || (hasher = HasherOf(env, args[0])) == nullptr) {
    return Fail(env, "ERR_INVALID_ARG_TYPE", "copy(hasher)");
  }
  return WrapHasher(env, new (std::nothrow) quillet::Hasher(*hasher));
}

// exportDigest(which, bytes, out): what the export `which` (0 StandardSHA,
// 1 BrokenSHA, 2 LockdownSHA, 3 MD5's text) returns for `bytes`, into `out`.
napi_value ExportDigest(napi_env env, napi_callback_info info) {
  napi_value args[3];
  std::uint32_t which = 0;
  quillet::ByteView bytes;
  std::uint8_t* out = nullptr;
  if (!Arguments(env, info, 3, args) || !Uint32Of(env, args[0], which) || which > 3 ||
      !BytesOf(env, args[1], bytes) ||
      (out = ResultOf(env, args[2], which == 3 ? sizeof(quillet::Md5Text)
                                               : sizeof(quillet::Sha1Digest))) == nullptr) {
    return Fail(env, "ERR_INVALID_ARG_TYPE", "exportDigest(which, Uint8Array, Uint8Array)");
  }
  if (which == 3) {
    quillet::Md5Text text = quillet::MD5Hex(bytes);
    std::memcpy(out, text.data(), text.size());
    quillet::SecureWipeObject(text);
    return nullptr;
  }
  quillet::Sha1Digest digest = which == 0   ? quillet::StandardSHA(bytes)
                               : which == 1 ? quillet::BrokenSHA(bytes)
                                            : quillet::LockdownSHA(bytes);
  std::memcpy(out, digest.data(), digest.size());
  quillet::SecureWipeObject(digest);
  return nullptr;
}

// digest(algorithm, bytes, out): a hasher's digest of `bytes`, in one call.
napi_value DigestOne(napi_env env, napi_callback_info info) {
  napi_value args[3];
  std::uint32_t algorithm = 0;
  quillet::ByteView bytes;
  std::uint8_t* out = nullptr;
  if (!Arguments(env, info, 3, args) || !Uint32Of(env, args[0], algorithm) ||
      algorithm >= quillet::Algorithms().size() || !BytesOf(env, args[1], bytes) ||
      (out = ResultOf(env, args[2], quillet::Algorithms()[algorithm].digest_size)) == nullptr) {
    return Fail(env, "ERR_INVALID_ARG_TYPE", "digest(algorithm, Uint8Array, Uint8Array)");
  }
  quillet::Hasher hasher(quillet::Algorithms()[algorithm].algorithm);
  quillet::Digest digest = hasher.Update(bytes).Finish();
  std::memcpy(out, digest.data(), digest.size());
  quillet::SecureWipeObject(digest);
  return nullptr;
}

// digestMany(algorithm, list, out): the digest of each Uint8Array of the
// array `list`, with quillet::DigestMany, into `out` one after the other
// (its size: the list's length times the digest's). The messages are read
// where they are; nothing of them is copied.
napi_value DigestManyOf(napi_env env, napi_callback_info info) {
  napi_value args[3];
  std::uint32_t algorithm = 0;
  std::uint32_t count = 0;
  bool is_array = false;
  if (!Arguments(env, info, 3, args) || !Uint32Of(env, args[0], algorithm) ||
      algorithm >= quillet::Algorithms().size() || napi_is_array(env, args[1], &is_array) != napi_ok ||
      !is_array || napi_get_array_length(env, args[1], &count) != napi_ok) {
    return Fail(env, "ERR_INVALID_ARG_TYPE", "digestMany(algorithm, Uint8Array[], Uint8Array)");
  }
  const quillet::AlgorithmInfo& algo = quillet::Algorithms()[algorithm];
  std::uint8_t* out = ResultOf(env, args[2], std::size_t{count} * algo.digest_size);
  if (out == nullptr) return Fail(env, "ERR_INVALID_ARG_TYPE", "digestMany: the result's size");
  std::unique_ptr<quillet::ByteView[]> messages(new (std::nothrow) quillet::ByteView[count]);
  std::unique_ptr<quillet::Digest[]> digests(new (std::nothrow) quillet::Digest[count]);
  if (count != 0 && (messages == nullptr || digests == nullptr)) {
    napi_throw_error(env, "ERR_MEMORY_ALLOCATION_FAILED", "Out of memory");
    return nullptr;
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    napi_value element;
    if (napi_get_element(env, args[1], i, &element) != napi_ok || !BytesOf(env, element, messages[i])) {
      return Fail(env, "ERR_INVALID_ARG_TYPE", "digestMany: each message a Uint8Array");
    }
  }
  quillet::DigestMany(algo.algorithm, std::span<const quillet::ByteView>(messages.get(), count),
                      std::span<quillet::Digest>(digests.get(), count));
  for (std::uint32_t i = 0; i < count; ++i) {
    std::memcpy(out + std::size_t{i} * algo.digest_size, digests[i].data(), algo.digest_size);
  }
  if (count != 0) quillet::SecureWipe(digests.get(), sizeof(quillet::Digest) * count);
  return nullptr;
}

// doubleHash(password, first, second, out): the password proof into `out`,
// tokens as unsigned 32-bit numbers.
napi_value DoubleHash(napi_env env, napi_callback_info info) {
  napi_value args[4];
  quillet::ByteView password;
  std::uint32_t first = 0, second = 0;
  std::uint8_t* out = nullptr;
  if (!Arguments(env, info, 4, args) || !BytesOf(env, args[0], password) ||
      !Uint32Of(env, args[1], first) || !Uint32Of(env, args[2], second) ||
      (out = ResultOf(env, args[3], sizeof(quillet::Sha1Digest))) == nullptr) {
    return Fail(env, "ERR_INVALID_ARG_TYPE", "doubleHash(Uint8Array, uint32, uint32, Uint8Array)");
  }
  quillet::Sha1Digest proof = quillet::DoubleHashPassword(password, first, second);
  std::memcpy(out, proof.data(), proof.size());
  quillet::SecureWipeObject(proof);
  return nullptr;
}

napi_value Init(napi_env env, napi_value exports) {
  const napi_property_descriptor functions[] = {
      {"newHasher", nullptr, NewHasher, nullptr, nullptr, nullptr, napi_enumerable, nullptr},
      {"update", nullptr, Update, nullptr, nullptr, nullptr, napi_enumerable, nullptr},
      {"finish", nullptr, Finish, nullptr, nullptr, nullptr, napi_enumerable, nullptr},
      {"copy", nullptr, Copy, nullptr, nullptr, nullptr, napi_enumerable, nullptr},
      {"exportDigest", nullptr, ExportDigest, nullptr, nullptr, nullptr, napi_enumerable, nullptr},
      {"digest", nullptr, DigestOne, nullptr, nullptr, nullptr, napi_enumerable, nullptr},
      {"digestMany", nullptr, DigestManyOf, nullptr, nullptr, nullptr, napi_enumerable, nullptr},
      {"doubleHash", nullptr, DoubleHash, nullptr, nullptr, nullptr, napi_enumerable, nullptr},
  };
  if (napi_define_properties(env, exports, sizeof functions / sizeof functions[0], functions) !=
      napi_ok) {
    return nullptr;
  }
  return exports;
}

}  // namespace

NAPI_MODULE(NODE_GYP_MODULE_NAME, Init)
