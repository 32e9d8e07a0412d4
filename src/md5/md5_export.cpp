// The MD5 export: the caller's bytes read in place, the digest returned as
// 32 upper-case hexadecimal characters in a new string.
#include "boundary/byte_string.hpp"
#include "common/secure_wipe.hpp"
#include "md5/md5.hpp"

extern "C" ByteString QUILLET_CALL MD5(const ByteString* data) {
  using namespace quillet;
  const auto content = boundary::ReadArgument(data);
  md5::Md5Context context;
  md5::InitMD5(context);
  md5::UpdateMD5(context, content.data(), content.size());
  const md5::HexText text = md5::FinishMD5Hex(context);
  BurnStack();  // spill slots and temporaries of everything below
  return boundary::MakeResult({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

QUILLET_EXPORT_ALIAS(MD5)
