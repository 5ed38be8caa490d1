#pragma once

#include <cxxabi.h>

#include <cstdlib>
#include <string>
#include <typeinfo>

// The readable name of a type ("CDiscovery"), for trace lines.
template <class T>
std::string type_name() {
    int status = 0;
    char* demangled = abi::__cxa_demangle(typeid(T).name(), nullptr, nullptr, &status);
    std::string result = (status == 0 && demangled) ? demangled : typeid(T).name();
    std::free(demangled);
    return result;
}
