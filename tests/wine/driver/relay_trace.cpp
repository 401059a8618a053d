#include "relay_trace.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "win32/windows_api.h"

namespace wine_driver {

bool SetRelayFunctions(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) list += (list.empty() ? "" : ";") + name;
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Debug", 0, nullptr, 0, KEY_ALL_ACCESS,
                          nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const bool ok = ::RegSetValueExA(key, "RelayInclude", 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(list.c_str()),
                                     static_cast<DWORD>(list.size() + 1)) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return ok;
}

std::vector<std::string> RelayedCalls(const std::string& log) {
    // "0120:Call KERNEL32.SetErrorMode(00000001) ret=140007c84"; the relay
    // channel also reports the calls of DLL entry points ("Call PE DLL
    // (proc=...)") and TLS callbacks, which name no LIBRARY.FUNCTION.
    std::vector<std::string> calls;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t call = line.find(":Call ");
        const std::size_t open = line.find('(', call);
        const std::size_t close = line.find(')', open);
        if (call == std::string::npos || open == std::string::npos || close == std::string::npos)
            continue;
        std::string name = line.substr(call + 6, open - call - 6);
        const std::size_t dot = name.find('.');
        if (dot == std::string::npos || name.find(' ') != std::string::npos) continue;
        name = name.substr(dot + 1);  // without the library
        std::string text = "call " + name;
        std::istringstream args(line.substr(open + 1, close - open - 1));
        std::string arg;
        for (char separator = ' '; std::getline(args, arg, ','); separator = ',') {
            char shown[24];
            std::snprintf(shown, sizeof shown, "%llx", std::strtoull(arg.c_str(), nullptr, 16));
            text += separator + std::string(shown);
        }
        calls.push_back(text);
    }
    return calls;
}

}  // namespace wine_driver
