#include "setup/PresetScan.h"

void ForEachPresetMessage(const std::uint8_t *data, std::size_t size,
                          const std::function<void(const TPresetSpan &)> &onMessage)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0xF0)
            start = i;
        if (data[i] != 0xF7)
            continue;
        const std::size_t length = i - start + 1;
        onMessage({start, length, length > PresetMessageBufferSize});
    }
}

std::vector<TPresetMessage> ScanPreset(const std::uint8_t *data, std::size_t size)
{
    std::vector<TPresetMessage> messages;
    ForEachPresetMessage(data, size, [&](const TPresetSpan &s) {
        TPresetMessage m;
        m.Offset = s.Offset;
        m.Length = s.Length;
        m.Skipped = s.Skipped;
        if (!m.Skipped)
            m.Bytes.assign(data + s.Offset, data + s.Offset + s.Length);
        messages.push_back(std::move(m));
    });
    return messages;
}

std::vector<TPresetMessage> ScanPreset(const std::vector<std::uint8_t> &data)
{
    return ScanPreset(data.data(), data.size());
}
