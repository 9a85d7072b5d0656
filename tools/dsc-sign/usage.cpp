#include "usage.h"

namespace {

struct Help {
    const char* command;
    const char* text;
};

const Help kHelp[] = {
    {"devices", "usage: dsc-sign devices [--sep S]\n"
                "  Lists the labels of the tokens present, joined by S (at most 15 characters;\n"
                "  default \"|\"). Tokens without a label are left out.\n"
                "example: dsc-sign devices --sep ', '\n"},
    {"serial", "usage: dsc-sign serial LABEL\n"
               "  Prints the serial number of the token with this label.\n"
               "example: dsc-sign serial MY-TOKEN\n"},
    {"userdata", "usage: dsc-sign userdata [LABEL]\n"
                 "  Prints the user data of the token with this label; without a label, of the\n"
                 "  only token present.\n"
                 "example: dsc-sign userdata MY-TOKEN\n"},
    {"change-pin", "usage: dsc-sign change-pin [--label L] [OLD-PIN-SOURCE NEW-PIN-SOURCE]\n"
                   "  Changes the user PIN of the token with label L (without --label: the only token\n"
                   "  present). The token must hold exactly one application. Without PIN options,\n"
                   "  at a terminal, it asks for the old PIN and twice for the new one, without echo.\n"
                   "  --old-pin-env NAME, --new-pin-env NAME   the PINs from environment variables\n"
                   "  --old-pin-fd N, --new-pin-fd N           the first line read from descriptor N\n"
                   "  --old-pin-file PATH, --new-pin-file PATH the first line of a file\n"
                   "  OLD NEW, --old-pin PIN, --new-pin PIN    on the command line, kept for older\n"
                   "                      scripts: every user of the machine can read them (ps)\n"
                   "example: dsc-sign change-pin --label MY-TOKEN\n"
                   "         dsc-sign change-pin --old-pin-env OLD_PIN --new-pin-file new-pin.txt\n"},
    {"select", "usage: dsc-sign select (--dn DN | --field F --value V | --key-sn SN | --all) [--pem]\n"
               "  Finds a signing certificate and prints it as base64 (with --pem as a PEM\n"
               "  CERTIFICATE that openssl x509 reads). Only the SM2 certificates of tokens and\n"
               "  certificate stores take part, except with --key-sn.\n"
               "  --dn DN             the subject DN contains DN\n"
               "  --field F --value V subject fields F (\"CN\", or several: \"CN,O\"; at most 7\n"
               "                      characters) contain the values V (\"Alice,Org\")\n"
               "  --key-sn SN         the signing certificate of the token with serial number SN\n"
               "                      (RSA or SM2)\n"
               "  --all               every certificate\n"
               "  When several certificates match, the chooser asks the user to pick one.\n"
               "  The selection lasts for this process only; use `sign` to select and sign.\n"
               "example: dsc-sign select --field CN --value Alice --pem | openssl x509 -noout -subject\n"},
    {"sign", "usage: dsc-sign sign FILE [--detached] [PIN-SOURCE] [--out P7] [--form der|pem|base64]\n"
             "                 [--dn DN | --field F --value V | --key-sn SN | --all]\n"
             "  Selects a certificate (as `select`; default --all) and signs the bytes of FILE\n"
             "  (\"-\": standard input; pipes, /dev/stdin and <(...) are read whole).\n"
             "  The result is a PKCS#7 SignedData: SM2 with SM3, or RSA with SHA-1.\n"
             "  --detached        leave the data out of the SignedData (default: attached)\n"
             "  --out P7          write the SignedData there (\"-\": standard output) and a\n"
             "                    summary to standard error; default form DER\n"
             "  --form F          der, pem (-----BEGIN PKCS7-----, 64 columns) or base64 (one\n"
             "                    line); without --out the default is base64 on standard output\n"
             "  The user PIN, verified on the token before signing, comes from one of:\n"
             "  --pin-env NAME    the environment variable NAME\n"
             "  --pin-fd N        the first line read from descriptor N\n"
             "  --pin-file PATH   the first line of the file PATH\n"
             "  (none)            at a terminal, a prompt without echo; otherwise no PIN\n"
             "  --pin PIN         on the command line, kept for older scripts: every user of\n"
             "                    the machine can read it (ps); prefer the options above\n"
             "  Standard output carries the signature and nothing else.\n"
             "example: head -c 1048576 /dev/urandom | dsc-sign sign - --form pem --pin-env PIN > s.pem\n"
             "         dsc-sign sign contract.pdf --detached --key-sn 0123456789 --out contract.p7\n"},
    {"prop", "usage: dsc-sign prop CERTFILE DN|SN|FIELD\n"
             "  Prints a property of the certificate in CERTFILE (DER, PEM or base64 text;\n"
             "  \"-\": standard input): DN the subject DN, SN the serial number in hexadecimal,\n"
             "  any other name (at most 7 characters, e.g. CN, O, OU) the first value of that\n"
             "  subject field.\n"
             "example: dsc-sign select --all | dsc-sign prop - DN\n"},
    {"verify", "usage: dsc-sign verify P7 [--content FILE] [--sm2-id ID] [--ca FILE] [--json]\n"
               "  Verifies a CMS / PKCS#7 SignedData (DER or BER, PEM or base64; \"-\": standard\n"
               "  input) without the library, with libgcrypt: every signer, RSA PKCS#1 v1.5 with\n"
               "  SHA-1, SHA-224, SHA-256, SHA-384 or SHA-512, or SM2 with SM3 over Z || data,\n"
               "  Z computed from the signer identity ID (default 1234567812345678). With signed\n"
               "  attributes the signature covers them, and their content type and message\n"
               "  digest must match the content. The signer certificate is the one in the\n"
               "  SignedData named by the signer's issuer and serial number or subject key\n"
               "  identifier. PKCS#7 and GM/T 0010 content types are both accepted.\n"
               "  --content FILE    the signed data of a detached SignedData; for an attached\n"
               "                    one it must equal the data inside\n"
               "  --ca FILE         PEM certificates: each signer certificate must chain to one\n"
               "                    of them through the SignedData's certificates (signatures\n"
               "                    only; validity dates and extensions are not checked).\n"
               "                    Without it no trust anchor is checked.\n"
               "  --json            one JSON object on standard output: the verdict, the\n"
               "                    content, and every signer's verdict, algorithm, name,\n"
               "                    serial number and signing time\n"
               "  Prints each signer's name, serial number, algorithm, signing time and trust,\n"
               "  the content and \"verified\". Exit status: 0 every signer valid; 1 a signature,\n"
               "  digest, content or certificate chain is wrong, or the input is malformed;\n"
               "  2 usage, an unreadable file, a detached SignedData without --content, or a\n"
               "  form or algorithm it does not support (\"unsupported: ...\").\n"
               "example: dsc-sign verify contract.p7 --content contract.pdf --ca ca.pem\n"},
};

}  // namespace

const char* general_usage()
{
    return "usage: dsc-sign [--log PATH] COMMAND [options]   (dsc-sign COMMAND --help for details)\n"
           "       dsc-sign --version\n"
           "\n"
           "Drives the dsc_jna_v3 library, loaded at run time as a Java host loads it\n"
           "(beside this program first, then the system's library search path).\n"
           "\n"
           "commands:\n"
           "  devices [--sep S]                 labels of the tokens present\n"
           "  serial LABEL                      serial number of a token\n"
           "  userdata [LABEL]                  user data of a token\n"
           "  change-pin [--label L] [PINS]     change a token's user PIN\n"
           "  select (--dn DN | --field F --value V | --key-sn SN | --all) [--pem]\n"
           "                                    find a signing certificate, print it\n"
           "  sign FILE [--detached] [--pin-env NAME | --pin-fd N | --pin-file PATH]\n"
           "       [--out P7] [--form der|pem|base64] [selection]\n"
           "                                    select and sign in one go\n"
           "  prop CERTFILE DN|SN|FIELD         a property of a certificate\n"
           "  verify P7 [--content FILE] [--sm2-id ID] [--ca FILE] [--json]\n"
           "                                    check a SignedData (without the library)\n"
           "\n"
           "\"-\" as a file name means standard input or output. Standard output carries\n"
           "only what was asked for; messages go to standard error.\n"
           "\n"
           "option of every command:\n"
           "  --log PATH   write the library's diagnostic log to PATH\n"
           "\n"
           "Exit status: 0 success, 1 the library, a file or a verification reported a\n"
           "failure (the message names the result code and its meaning, or the reason),\n"
           "2 wrong command line (and for verify: an unreadable file or an unsupported\n"
           "form or algorithm).\n"
           "\n"
           "example: dsc-sign sign report.txt --field CN --value Alice --out report.p7\n";
}

const char* command_usage(const std::string& command)
{
    for (const Help& h : kHelp)
        if (command == h.command) return h.text;
    return nullptr;
}
