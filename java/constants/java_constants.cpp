// Writes the Java binding's view of the library's interface from the C
// headers themselves, so the two cannot drift apart:
//   ResultCode.java  the template with every result code, name and meaning
//   Limits.java      the limits of the exports
//   Exports.java     each export's name and the kinds of its return value
//                    and parameters, against which the binding's JNA
//                    interface is checked
// Usage: java_constants TEMPLATE OUT_DIR
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <type_traits>

#include "dsc_jna.h"
#include "tcore_result_codes.h"

namespace {

std::string javaString(const char* text)
{
    std::string out = "\"";
    for (const char* p = text; *p != 0; ++p) {
        if (*p == '"' || *p == '\\') out += '\\';
        out += *p;
    }
    return out + "\"";
}

std::string resultCodes()
{
    std::ostringstream out;
#define JAVA_RESULT_CODE(code, name, meaning)                                                                          \
    out << "    /** " << meaning << ". */\n    " #name "(" << (code) << ", " << javaString(meaning) << "),\n";
    DSC_RESULT_CODES(JAVA_RESULT_CODE)
#undef JAVA_RESULT_CODE
    return out.str();
}

// How a C type crosses the interface: "int", "pointer" or "void".
template <typename T>
const char* kindOf()
{
    if constexpr (std::is_void_v<T>)
        return "void";
    else if constexpr (std::is_pointer_v<T>)
        return "pointer";
    else {
        static_assert(std::is_same_v<T, int>, "an export passes only ints and pointers");
        return "int";
    }
}

template <typename R, typename... A>
std::string kinds(R (*)(A...))
{
    std::string out = javaString(kindOf<R>());
    ((out += std::string(", ") + javaString(kindOf<A>())), ...);
    return out;
}

std::string exports()
{
    std::ostringstream out;
    // Only the type of each export is read: nothing is linked against them.
#define JAVA_EXPORT(name)                                                                                              \
    out << "        {" << javaString(#name) << ", " << kinds(static_cast<decltype(&name)>(nullptr)) << "},\n";
    DSC_JNA_EXPORTS(JAVA_EXPORT)
#undef JAVA_EXPORT
    return out.str();
}

bool write(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary);
    file << text;
    file.close();
    if (!file) std::cerr << "java_constants: cannot write " << path << "\n";
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: java_constants TEMPLATE OUT_DIR\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string resultCode = buffer.str();
    const std::string marker = "    @RESULT_CODES@\n";
    size_t at = resultCode.find(marker);
    if (!in || at == std::string::npos) {
        std::cerr << "java_constants: " << argv[1] << " has no line \"" << marker.substr(4, 14) << "\"\n";
        return 1;
    }
    resultCode.replace(at, marker.size(), resultCodes());

    const std::string dir = argv[2];
    std::ostringstream limits;
    limits << "package dscjna;\n\n"
              "/** The limits of the library's exports (dsc_jna.h). */\n"
              "final class Limits {\n"
              "    private Limits() {}\n\n"
              "    /** The certificate text area of Sgn_SelectCertByDn, NUL included. */\n"
              "    static final int CERT_TEXT_SIZE = "
           << DSC_JNA_CERT_TEXT_SIZE
           << ";\n"
              "    /** The longest separator of Sgn_Dev_Enum, in bytes. */\n"
              "    static final int SEPARATOR_MAX = "
           << DSC_JNA_SEPARATOR_MAX
           << ";\n"
              "    /** The longest subject field name, in characters. */\n"
              "    static final int FIELD_NAME_MAX = "
           << DSC_JNA_FIELD_NAME_MAX << ";\n}\n";
    std::string exportTable = "package dscjna;\n\n"
                              "/** Each export of dsc_jna.h: its name, then how its return value and each parameter\n"
                              " * cross the interface (\"int\", \"pointer\" or \"void\"). */\n"
                              "final class Exports {\n"
                              "    private Exports() {}\n\n"
                              "    static final String[][] ALL = {\n" +
                              exports() + "    };\n}\n";
    bool ok = write(dir + "/ResultCode.java", resultCode);
    ok &= write(dir + "/Limits.java", limits.str());
    ok &= write(dir + "/Exports.java", exportTable);
    return ok ? 0 : 1;
}
