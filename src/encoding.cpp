/*
 * encoding.cpp --
 *   Texts between Tcl's strings and the system's encoding: file names and
 *   file contents, as Tcl's own file commands convert them. No commands.
 */
#include "zksInt.h"

namespace zks {

std::string toSystemEncoding(std::string_view utf)
{
    Tcl_DString ds;
#if TCL_MAJOR_VERSION >= 9
    Tcl_UtfToExternalDStringEx(nullptr, nullptr, utf.data(), static_cast<Tcl_Size>(utf.size()),
        TCL_ENCODING_PROFILE_TCL8, &ds, nullptr);
#else
    Tcl_UtfToExternalDString(nullptr, utf.data(), static_cast<Tcl_Size>(utf.size()), &ds);
#endif
    std::string native(Tcl_DStringValue(&ds), static_cast<std::size_t>(Tcl_DStringLength(&ds)));
    Tcl_DStringFree(&ds);
    return native;
}

std::string fromSystemEncoding(std::string_view native)
{
    Tcl_DString ds;
#if TCL_MAJOR_VERSION >= 9
    Tcl_ExternalToUtfDStringEx(nullptr, nullptr, native.data(),
        static_cast<Tcl_Size>(native.size()), TCL_ENCODING_PROFILE_TCL8, &ds, nullptr);
#else
    Tcl_ExternalToUtfDString(nullptr, native.data(), static_cast<Tcl_Size>(native.size()), &ds);
#endif
    std::string utf(Tcl_DStringValue(&ds), static_cast<std::size_t>(Tcl_DStringLength(&ds)));
    Tcl_DStringFree(&ds);
    return utf;
}

bool toSystemPath(std::string_view utf, std::string &native)
{
    native = toSystemEncoding(utf);
    return native.find('\0') == std::string::npos;
}

} // namespace zks
