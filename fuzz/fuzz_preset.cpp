// The controller preset file scan: any bytes.

#include "setup/PresetScan.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<TPresetMessage> messages = ScanPreset(data, size);
    std::size_t lastEnd = 0;
    for (const TPresetMessage &m : messages) {
        const std::size_t end = m.Offset + m.Length; // one past its F7
        if (m.Length == 0 || end > size || end <= lastEnd || data[end - 1] != 0xF7)
            std::abort();
        if (m.Skipped != (m.Length > PresetMessageBufferSize))
            std::abort();
        if (m.Skipped ? !m.Bytes.empty()
                      : m.Bytes.size() != m.Length || std::memcmp(m.Bytes.data(), data + m.Offset, m.Length) != 0)
            std::abort();
        lastEnd = end;
    }
    return 0;
}
