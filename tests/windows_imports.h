// What wavrix.exe imports, by DLL: four functions of Windows and the card's
// nine operations. The exe is held to this list as a file, and README.md's
// table of imports to the same list.
#ifndef WAVRIX_TESTS_WINDOWS_IMPORTS_H_
#define WAVRIX_TESTS_WINDOWS_IMPORTS_H_

#include <map>
#include <set>
#include <string>

namespace windows_imports {

using Names = std::set<std::string>;

inline const Names kCardOperations = {
#define BTVID_32_OPERATION(Result, Name, Parameters, Arguments) #Name,
#include "cardbus/btvid_32_operations.h"
};

/// DLL name, as the import table spells it -> the names imported from it.
inline const std::map<std::string, Names> kExeImports = {
    {"KERNEL32.dll", {"GetCommandLineA", "Sleep", "ExitProcess"}},
    {"USER32.dll", {"MessageBoxA"}},
    {"BTVID_32.DLL", kCardOperations},
};

}  // namespace windows_imports

#endif  // WAVRIX_TESTS_WINDOWS_IMPORTS_H_
