// Check value and decoding throughput, and the whole receive path: records per second from a
// flooding sender on loopback into the status callback.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "client/qvs_hft.h"
#include "client/wire.h"

namespace kestrune {
namespace {

std::string sampleText() {
  // One chart second: the time, sixteen exchange counts and the total.
  std::string text = "093015";
  for (int i = 0; i < 17; ++i) {
    text.push_back('|');
    text += std::to_string(100 + i * 37);
  }
  return text;
}

void BM_PacketCrc(benchmark::State& state) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(state.range(0)));
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  for (auto _ : state) benchmark::DoNotOptimize(packetCrc(bytes.data(), bytes.size()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_PacketCrc)->Arg(12)->Arg(64)->Arg(135);

void BM_DecodeChartSample(benchmark::State& state) {
  std::string body;
  encodeRecordBody(MSG_CHART_SAMPLE, sampleText(), body);
  char out[kDecodedBufferSize];
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        decodeRecordBody(MSG_CHART_SAMPLE, body.data(), body.size(), out, sizeof out));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_DecodeChartSample);

void BM_DecodeAlertRecord(benchmark::State& state) {
  std::string body;
  encodeRecordBody(MSG_ALERT_RECORD, "MSFT|Q|Quote stuffing|093015|3120|25.31|17", body);
  char out[kDecodedBufferSize];
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        decodeRecordBody(MSG_ALERT_RECORD, body.data(), body.size(), out, sizeof out));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeAlertRecord);

std::atomic<std::uint64_t> received{0};
std::atomic<std::uint64_t> wanted{0};

int32_t countRecord(int32_t type, int32_t, const char*) {
  if (type != MSG_CHART_SAMPLE) return 0;
  // Wake the measuring thread only once, when the last record of a round is in.
  if (received.fetch_add(1, std::memory_order_relaxed) + 1 == wanted.load()) received.notify_all();
  return 0;
}

// A sender that floods one client with protected chart samples as fast as the socket takes
// them; the client library decodes nothing here, the callback only counts.
void BM_ReceivePath(benchmark::State& state) {
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(listener, 1);
  socklen_t len = sizeof addr;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);

  QvS_HFT_SetStatusCallback(&countRecord);
  QvS_HFT_SetParms("127.0.0.1", ntohs(addr.sin_port));
  QvS_HFT_SetUser("bench", "bench", 2, "1.0.4");
  if (QvS_HFT_Start() != 0) {
    state.SkipWithError("could not connect");
    ::close(listener);
    return;
  }
  const int peer = ::accept(listener, nullptr, nullptr);

  std::string body;
  encodeRecordBody(MSG_CHART_SAMPLE, sampleText(), body);
  const std::vector<std::uint8_t> one = makePacket(MSG_CHART_SAMPLE, 1, body, true);
  std::vector<std::uint8_t> chunk;
  constexpr int kPerChunk = 1000;
  for (int i = 0; i < kPerChunk; ++i) chunk.insert(chunk.end(), one.begin(), one.end());
  const std::uint64_t perIteration = static_cast<std::uint64_t>(state.range(0));

  std::uint64_t target = 0;
  for (auto _ : state) {
    target += perIteration;
    wanted = target;
    std::thread sender([&] {
      for (std::uint64_t sent = 0; sent < perIteration; sent += kPerChunk) {
        std::size_t off = 0;
        while (off < chunk.size()) {
          const ssize_t r = ::send(peer, chunk.data() + off, chunk.size() - off, MSG_NOSIGNAL);
          if (r <= 0) return;
          off += static_cast<std::size_t>(r);
        }
      }
    });
    std::uint64_t now = received.load();
    while (now < target) {
      received.wait(now);
      now = received.load();
    }
    sender.join();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(target));
  state.counters["packet_bytes"] = static_cast<double>(one.size());
  QvS_HFT_SetStatusCallback(nullptr);
  QvS_HFT_Stop();
  ::close(peer);
  ::close(listener);
}
BENCHMARK(BM_ReceivePath)->Arg(200'000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kestrune

BENCHMARK_MAIN();
