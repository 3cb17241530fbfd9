// The string table.
#include "framework/StringResource.h"

#include <map>
#include <mutex>

namespace {

std::mutex g_stringMutex;
std::map<UINT, const wchar_t*> g_strings;

}  // namespace

void AfxRegisterString(UINT id, const wchar_t* text) {
    std::lock_guard<std::mutex> lock(g_stringMutex);
    if (text == nullptr) {
        g_strings.erase(id);
    } else {
        g_strings[id] = text;
    }
}

const wchar_t* AfxLoadString(UINT id) {
    std::lock_guard<std::mutex> lock(g_stringMutex);
    auto it = g_strings.find(id);
    return it == g_strings.end() ? nullptr : it->second;
}
