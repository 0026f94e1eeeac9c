// The packet header and body decoder, fed whole packets as they come off the link.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "client/wire.h"
#include "tests/fuzz/engine/fuzz_check.h"

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kHeaderSize) return 0;
  std::vector<std::uint8_t> packet(data, data + size);
  const PacketHeader header = PacketHeader::parse(packet.data());
  std::uint8_t again[kHeaderSize];
  header.serialize(again);
  KES_FUZZ_CHECK(std::memcmp(again, data, kHeaderSize) == 0);
  if (header.tooLong() || !checkPacket(packet.data(), packet.size())) return 0;

  const std::size_t bodyLength = std::min<std::size_t>(header.bodyLength(), size - kHeaderSize);
  const char* body = reinterpret_cast<const char*>(packet.data() + kHeaderSize);
  // The receive path decodes into fixed buffers; a small one must still come back terminated.
  for (std::size_t outSize : {std::size_t{1}, std::size_t{7}, kDecodedBufferSize}) {
    std::vector<char> out(outSize + 1, '\x5a');
    const std::size_t n = decodeRecordBody(header.type, body, bodyLength, out.data(), outSize);
    KES_FUZZ_CHECK(n < outSize);
    KES_FUZZ_CHECK(out[n] == '\0');
    KES_FUZZ_CHECK(std::strlen(out.data()) == n);
    KES_FUZZ_CHECK(out[outSize] == '\x5a');  // nothing written past the buffer
    const std::string whole = decodeRecordBody(header.type, std::string_view(body, bodyLength));
    KES_FUZZ_CHECK(whole.compare(0, n, out.data(), n) == 0);
  }
  return 0;
}
