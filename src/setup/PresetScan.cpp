#include "setup/PresetScan.h"

std::vector<TPresetMessage> ScanPreset(const std::uint8_t *data, std::size_t size)
{
    std::vector<TPresetMessage> messages;
    std::size_t start = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0xF0)
            start = i;
        if (data[i] != 0xF7)
            continue;
        TPresetMessage m;
        m.Offset = start;
        m.Length = i - start + 1;
        m.Skipped = m.Length > PresetMessageBufferSize;
        if (!m.Skipped)
            m.Bytes.assign(data + start, data + i + 1);
        messages.push_back(std::move(m));
    }
    return messages;
}

std::vector<TPresetMessage> ScanPreset(const std::vector<std::uint8_t> &data)
{
    return ScanPreset(data.data(), data.size());
}
