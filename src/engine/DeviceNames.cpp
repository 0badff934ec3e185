#include "engine/DeviceNames.h"

#include <QString>

#include <cctype>

namespace engine {
namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Drops a final " CLIENT:PORT", as RtMidi's ALSA backend appends it.
std::string WithoutAlsaAddress(const std::string &name)
{
    std::size_t i = name.size();
    const std::size_t portEnd = i;
    while (i > 0 && IsDigit(name[i - 1]))
        --i;
    if (i == portEnd || i == 0 || name[i - 1] != ':')
        return name;
    --i;
    const std::size_t clientEnd = i;
    while (i > 0 && IsDigit(name[i - 1]))
        --i;
    if (i == clientEnd || i == 0 || name[i - 1] != ' ')
        return name;
    return name.substr(0, i - 1);
}

// Drops a2jmidid's bracketed numbers ("[24]", "[0]") and the space each leaves double.
std::string WithoutBridgeNumbers(const std::string &name)
{
    if (name.rfind("a2j:", 0) != 0)
        return name;
    std::string out;
    std::size_t i = 0;
    while (i < name.size()) {
        std::size_t j = i + 1;
        while (name[i] == '[' && j < name.size() && IsDigit(name[j]))
            ++j;
        if (name[i] == '[' && j > i + 1 && j < name.size() && name[j] == ']') {
            i = j + 1;
            if (i < name.size() && name[i] == ' ' && (out.empty() || out.back() == ' '))
                ++i;
            continue;
        }
        out += name[i++];
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

bool SameLetters(const std::string &a, const std::string &b)
{
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

} // namespace

std::string StableDeviceName(const std::string &name) { return WithoutBridgeNumbers(WithoutAlsaAddress(name)); }

std::vector<int> FindDeviceNames(const std::vector<std::string> &names, const std::string &name)
{
    std::vector<int> found;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (SameLetters(names[i], name))
            found.push_back(int(i));
    }
    const std::string stable = StableDeviceName(name);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!SameLetters(names[i], name) && SameLetters(StableDeviceName(names[i]), stable))
            found.push_back(int(i));
    }
    return found;
}

int FindDeviceName(const std::vector<std::string> &names, const std::string &name)
{
    const std::vector<int> found = FindDeviceNames(names, name);
    return found.empty() ? -1 : found.front();
}

} // namespace engine
