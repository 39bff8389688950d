// What the digest of delivered bytes costs. The readers take it on their own threads over every byte an
// owner delivers (up to the 1 GiB a transfer may bring, in the 64 KiB pieces a pipe hands over), and the
// Windows clipboard agent over a DIB while it holds the clipboard open: an 8 MB full-HD capture, and the
// largest transfer accepted. tick_bench.cpp prints their figures with the others.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "pictures/content_digest.h"

namespace {

using zanthrel::ContentDigester;

std::vector<unsigned char> screenBytes(std::size_t size) {
    std::vector<unsigned char> bytes(size);
    std::uint32_t state = 0x2545F491u;
    for (unsigned char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<unsigned char>(state);
    }
    return bytes;
}

void digestFullHd(benchmark::State& state) {
    const std::vector<unsigned char> capture = screenBytes(std::size_t{1920} * 1080 * 4);
    for (auto _ : state) benchmark::DoNotOptimize(zanthrel::digestOf(capture.data(), capture.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * capture.size()));
}

// 1 GiB: a 16 MiB block 64 times over, in pipe-sized pieces, so that the run needs no gigabyte of memory.
void digestLargestTransfer(benchmark::State& state) {
    constexpr std::size_t kPiece = std::size_t{1} << 16;
    const std::vector<unsigned char> block = screenBytes(std::size_t{16} << 20);
    for (auto _ : state) {
        ContentDigester digester;
        for (int round = 0; round < 64; ++round)
            for (std::size_t at = 0; at < block.size(); at += kPiece) digester.add(block.data() + at, kPiece);
        benchmark::DoNotOptimize(digester.finish());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (std::int64_t{1} << 30));
}

}  // namespace

BENCHMARK(digestFullHd)->Name("digest_full_hd")->Unit(benchmark::kMillisecond);
BENCHMARK(digestLargestTransfer)->Name("digest_1gib")->Unit(benchmark::kMillisecond);
