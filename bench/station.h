// The production station both session benchmarks run: a reader with a 7311
// controller that holds the image already, DEVICE.TXT, SERIAL.TXT, and the
// largest image the pass-through carries (its length field has 16 bits).
// The session: start-up, "GetInfo", verification, programming with a serial
// number, verification of the now stamped firmware, Close.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace usbisp::benchmarks {

inline constexpr char kBench[] = R"({"windows": "xp", "clock": "2003-11-18T09:30:00",
  "readers": [{"letters": "E", "vid": "058f", "pid": "6362", "serial": "000000000001",
    "inquiry": {"vendor": "Generic", "product": "Flash Reader", "revision": "1.00"},
    "hardwareRevision": "73 11 00", "firmware": "@ROM.BIN"}]})";
inline constexpr char kScript[] =
    "click GetInfo\nclick ISP_Ena\nclick WIN9xVER\nclick WIN9xISP\nclick WIN9xVER\nclick Close\n";
inline constexpr char kDevice[] =
    "FA_Inquiry_Manufacture = \"Generic\";\nFA_Inquiry_Product = \"Flash Reader\";\n"
    "ISP_ROMCODE = \"ROM.BIN\";\nVID = \"058F\";\nPID = \"6362\";\n"
    "String_Manufacture = \"Generic\";\nString_Product = \"USB Card Reader\";\n";
inline constexpr std::size_t kImageSize = 65535;

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh station directory with BENCH.JSON and SCRIPT.TXT beside the files.
inline std::filesystem::path MakeStation() {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "usbisp-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    const fs::path dir = pattern;
    WriteFile(dir / "BENCH.JSON", kBench);
    WriteFile(dir / "SCRIPT.TXT", kScript);
    WriteFile(dir / "DEVICE.TXT", kDevice);
    WriteFile(dir / "SERIAL.TXT", "0x57 0x01 0x0000");
    std::string image(kImageSize, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 + 1);
    image[0] = 5;  // type 5, marker 0xFE: a 7311 takes it
    image[1] = static_cast<char>(0xFE);
    WriteFile(dir / "ROM.BIN", image);
    WriteFile(dir / "ROM.adr", std::string("\x00\x01\x00\x00\x06\x00\x00\x00\x0d\x00\x00\x00", 12));
    return dir;
}

}  // namespace usbisp::benchmarks
