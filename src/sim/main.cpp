// tavrelk-sim: a simulated Korg DW-8000 and Behringer BCR2000 on real MIDI
// ports, with a MIDI monitor on standard output and commands on standard
// input.

#include "sim/SimHost.h"
#include "sim/SimRig.h"

#include "BuildInfo.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>

namespace {

const char *const kUsage =
    "Usage: tavrelk-sim [--api jack|alsa|core] [--channel N] [--bank FILE]\n"
    "\n"
    "Runs a simulated Korg DW-8000 and Behringer BCR2000 behind four MIDI ports\n"
    "that any MIDI program can connect to. Every message received (RX) or sent\n"
    "(TX) is printed as one line with its bytes in hexadecimal.\n"
    "\n"
    "  --api NAME     MIDI system to use (default: the first that starts)\n"
    "  --channel N    the DW-8000's MIDI channel, 1-16 (default 1)\n"
    "  --bank FILE    load the DW-8000's programs from a bank file of dumps and\n"
    "                 write requests (default: a few built-in programs)\n"
    "  --version      print the version and exit\n"
    "\n";

std::mutex outputMutex;

void Print(const std::string &line)
{
    std::lock_guard<std::mutex> lock(outputMutex);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    std::string api, bank;
    int channel = 1;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--api") == 0 && hasValue) {
            api = argv[++i];
        } else if (std::strcmp(argv[i], "--bank") == 0 && hasValue) {
            bank = argv[++i];
        } else if (std::strcmp(argv[i], "--channel") == 0 && hasValue) {
            channel = std::atoi(argv[++i]);
            if (channel < 1 || channel > 16) {
                std::fprintf(stderr, "tavrelk-sim: channel must be 1-16\n");
                return 2;
            }
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tavrelk-sim %s\n", TAVRELK_VERSION_TEXT);
            return 0;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s%s", kUsage, TSimHost::CommandHelp());
            return 0;
        } else if (!hasValue && (std::strcmp(argv[i], "--api") == 0 || std::strcmp(argv[i], "--bank") == 0
                                 || std::strcmp(argv[i], "--channel") == 0)) {
            std::fprintf(stderr, "tavrelk-sim: %s needs a value\n", argv[i]);
            return 2;
        } else {
            std::fprintf(stderr, "tavrelk-sim: unknown argument %s\n\n%s", argv[i], kUsage);
            return 2;
        }
    }

    TSimHost host(Print);
    host.Synth().SetChannel(channel - 1);
    if (bank.empty()) {
        TSimRig::LoadDemoPrograms(host.Synth());
    } else if (const std::string failure = host.LoadBank(bank); !failure.empty()) {
        std::fprintf(stderr, "tavrelk-sim: %s\n", failure.c_str());
        return 1;
    }
    const std::string failure = host.Open(api);
    if (!failure.empty()) {
        std::fprintf(stderr, "tavrelk-sim: cannot open the MIDI ports: %s\n", failure.c_str());
        return 1;
    }
    Print("MIDI " + host.System());
    for (const std::string &port : host.PortNames())
        Print("PORT " + port);
    Print("READY");

    std::string line;
    bool quit = false;
    while (!quit && std::getline(std::cin, line)) {
        const std::string answer = host.Command(line, quit);
        if (!answer.empty())
            Print(answer);
    }
    return 0;
}
