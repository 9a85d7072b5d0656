#include "usage.h"

namespace {

struct Help {
    const char* command;
    const char* text;
};

const Help kHelp[] = {
    {"devices", "usage: dsc-sign devices [--sep S]\n"
                "  Lists the labels of the tokens present, joined by S (at most 15 characters;\n"
                "  default \"|\"). Tokens without a label are left out.\n"},
    {"serial", "usage: dsc-sign serial LABEL\n"
               "  Prints the serial number of the token with this label.\n"},
    {"userdata", "usage: dsc-sign userdata [LABEL]\n"
                 "  Prints the user data of the token with this label; without a label, of the\n"
                 "  only token present.\n"},
    {"change-pin", "usage: dsc-sign change-pin [--label L] OLD NEW\n"
                   "  Changes the user PIN of the token with label L (without --label: the only token\n"
                   "  present) from OLD to NEW. The token must hold exactly one application.\n"},
    {"select", "usage: dsc-sign select (--dn DN | --field F --value V | --key-sn SN | --all)\n"
               "  Finds a signing certificate and prints it as base64. Only the SM2 certificates\n"
               "  of tokens and certificate stores take part, except with --key-sn.\n"
               "  --dn DN             the subject DN contains DN\n"
               "  --field F --value V subject fields F (\"CN\", or several: \"CN,O\") contain the\n"
               "                      values V (\"Alice,Org\")\n"
               "  --key-sn SN         the signing certificate of the token with serial number SN\n"
               "                      (RSA or SM2)\n"
               "  --all               every certificate\n"
               "  When several certificates match, the chooser asks the user to pick one.\n"
               "  The selection lasts for this process only; use `sign` to select and sign.\n"},
    {"sign", "usage: dsc-sign sign FILE [--detached] [--pin PIN] [--out P7]\n"
             "                 [--dn DN | --field F --value V | --key-sn SN | --all]\n"
             "  Selects a certificate (as `select`; default --all) and signs the bytes of FILE.\n"
             "  The result is a PKCS#7 SignedData: SM2 with SM3, or RSA with SHA-1.\n"
             "  --detached  leave the data out of the SignedData (default: attached)\n"
             "  --pin PIN   the token's user PIN, verified on the token before signing\n"
             "  --out P7    write the SignedData there in DER and print a summary;\n"
             "              without --out the base64 text goes to standard output\n"},
    {"prop", "usage: dsc-sign prop CERTFILE DN|SN|FIELD\n"
             "  Prints a property of the certificate in CERTFILE (DER, PEM or base64 text):\n"
             "  DN the subject DN, SN the serial number in hexadecimal, any other name (at\n"
             "  most 7 characters, e.g. CN, O, OU) the first value of that subject field.\n"},
};

}  // namespace

const char* general_usage()
{
    return "usage: dsc-sign [--log PATH] COMMAND [options]   (dsc-sign COMMAND --help for details)\n"
           "\n"
           "Drives the dsc_jna_v3 library, loaded at run time as a Java host loads it\n"
           "(beside this program first, then the system's library search path).\n"
           "\n"
           "commands:\n"
           "  devices [--sep S]                 labels of the tokens present\n"
           "  serial LABEL                      serial number of a token\n"
           "  userdata [LABEL]                  user data of a token\n"
           "  change-pin [--label L] OLD NEW    change a token's user PIN\n"
           "  select (--dn DN | --field F --value V | --key-sn SN | --all)\n"
           "                                    find a signing certificate, print it\n"
           "  sign FILE [--detached] [--pin PIN] [--out P7] [selection]\n"
           "                                    select and sign in one go\n"
           "  prop CERTFILE DN|SN|FIELD         a property of a certificate\n"
           "\n"
           "option of every command:\n"
           "  --log PATH   write the library's diagnostic log to PATH\n"
           "\n"
           "Exit status: 0 success, 1 the library or a file reported a failure (the\n"
           "message names the result code and its meaning), 2 wrong command line.\n";
}

const char* command_usage(const std::string& command)
{
    for (const Help& h : kHelp)
        if (command == h.command) return h.text;
    return nullptr;
}
