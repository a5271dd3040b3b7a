#include "voice/AudioLevels.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <span>
#include <string>
#include <vector>

// Throughput of the level meter next to a plain memcpy of the same buffer: the meter runs on every
// captured and played buffer, so it should cost a small multiple of merely touching the bytes.

namespace {

struct BufferSize
{
    const char *label;
    std::size_t bytes;
};

constexpr BufferSize bufferSizes[] = {{"64KiB", 64 * 1024}, {"1MiB", 1024 * 1024}};

std::vector<std::byte> noiseBytes(std::size_t size)
{
    std::mt19937 generator(7);
    std::uniform_int_distribution<int> byteValue(0, 255);
    std::vector<std::byte> bytes(size);
    for (auto &byte : bytes)
        byte = static_cast<std::byte>(byteValue(generator));
    return bytes;
}

std::vector<float> noiseFloats(std::size_t count)
{
    std::mt19937 generator(7);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    std::vector<float> samples(count);
    for (auto &value : samples)
        value = sample(generator);
    return samples;
}

void memcpyBuffer(benchmark::State &state, std::size_t size)
{
    const auto source = noiseBytes(size);
    std::vector<std::byte> destination(size);
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), size);
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

void levelOfFloats(benchmark::State &state, std::size_t size)
{
    const auto samples = noiseFloats(size / sizeof(float));
    for (auto _ : state)
        benchmark::DoNotOptimize(AudioLevelCalculator::calculateLevel(std::span(samples), 1.0f));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

void levelOfInt16(benchmark::State &state, std::size_t size)
{
    const auto bytes = noiseBytes(size);
    std::vector<std::int16_t> samples(size / sizeof(std::int16_t));
    std::memcpy(samples.data(), bytes.data(), size);
    for (auto _ : state)
        benchmark::DoNotOptimize(AudioLevelCalculator::calculateLevel(std::span(samples), 1.0f));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

void levelOfRawBytes(benchmark::State &state, std::size_t size)
{
    // One byte in: the wire gives no alignment guarantee, so measure the unaligned case.
    const auto storage = noiseBytes(size + 1);
    const std::span bytes = std::span(storage).subspan(1);
    for (auto _ : state)
        benchmark::DoNotOptimize(AudioLevelCalculator::calculateLevel(bytes, 1.0f));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

// Prints the usual table, then each level form's throughput as a fraction of memcpy's.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto &run : runs) {
            const auto rate = run.counters.find("bytes_per_second");
            if (run.run_type == Run::RT_Iteration && !run.error_occurred &&
                rate != run.counters.end())
                bytesPerSecond[run.benchmark_name()] = rate->second.value;
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-28s %10s %10s %8s\n", "level form", "GB/s", "memcpy", "ratio");
        for (const auto &size : bufferSizes) {
            const auto memcpyRate = bytesPerSecond.find(std::string("memcpy/") + size.label);
            if (memcpyRate == bytesPerSecond.end())
                continue;
            for (const char *form :
                 {"calculateLevel/float/", "calculateLevel/int16/", "calculateLevel/rawBytes/"}) {
                const auto rate = bytesPerSecond.find(form + std::string(size.label));
                if (rate == bytesPerSecond.end())
                    continue;
                std::printf("%-28s %10.2f %10.2f %7.2fx\n", rate->first.c_str(), rate->second / 1e9,
                            memcpyRate->second / 1e9, rate->second / memcpyRate->second);
            }
        }
        std::fflush(stdout);
    }

private:
    std::map<std::string, double> bytesPerSecond;
};

} // namespace

int main(int argc, char **argv)
{
    for (const auto &size : bufferSizes) {
        const std::string label = size.label;
        benchmark::RegisterBenchmark(("memcpy/" + label).c_str(), memcpyBuffer, size.bytes);
        benchmark::RegisterBenchmark(("calculateLevel/float/" + label).c_str(), levelOfFloats,
                                     size.bytes);
        benchmark::RegisterBenchmark(("calculateLevel/int16/" + label).c_str(), levelOfInt16,
                                     size.bytes);
        benchmark::RegisterBenchmark(("calculateLevel/rawBytes/" + label).c_str(), levelOfRawBytes,
                                     size.bytes);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
