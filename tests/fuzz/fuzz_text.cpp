// Fuzzes the text handling that sees registry-supplied bytes: class
// identifier parsing, token search and trimming, the find box's matching,
// the Properties report over any record a reader could produce, and the
// start-directory stripping.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "catalogue/catalogue.h"
#include "extrainfo/extrainfo.h"
#include "ui/layout.h"
#include "ui/list_rows.h"

namespace {

void fill_text(FuzzedDataProvider &in, char *field, size_t size)
{
    std::string s = in.ConsumeRandomLengthString(size - 1);
    memcpy(field, s.c_str(), s.size() + 1);
}

int lead_byte(unsigned char c)
{
    return c >= 0x81 && c <= 0x9F;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);

    // The functions see C strings: what follows a zero byte is not theirs.
    std::string text = in.ConsumeRandomLengthString(300).c_str();
    unsigned char clsid[16];
    parse_clsid_text(text.c_str(), clsid);

    std::string token = in.ConsumeRandomLengthString(12).c_str();
    int at = find_token(text.c_str(), token.c_str());
    if (at >= 0 && text.compare(static_cast<size_t>(at), token.size(), token) != 0) abort();

    // The find box's matching over any bytes, well-formed UTF-8 or not.
    if (text_matches(text.c_str(), text.size() + 1, "") != 1) abort();
    text_matches(text.c_str(), text.size() + 1, token.c_str());
    text_matches(token.c_str(), token.size() + 1, text.c_str());

    std::string trimmed = text;
    trim_spaces(&trimmed[0]);
    size_t len = strlen(trimmed.c_str());
    if (len > 0 && (trimmed[0] == ' ' || trimmed[len - 1] == ' ')) abort();

    ExtraInfo info;
    reset_extra_info(&info);
    fill_text(in, info.app_name, sizeof info.app_name);
    fill_text(in, info.Company, sizeof info.Company);
    fill_text(in, info.Copyright, sizeof info.Copyright);
    fill_text(in, info.ProductVersion, sizeof info.ProductVersion);
    int32_t *numbers = &info.Fmin;
    for (int i = 0; i < 15; i++) numbers[i] = in.ConsumeIntegral<int32_t>();
    char report[REPORT_SIZE];
    compose_properties_report(&info, report, sizeof report);
    if (strlen(report) >= sizeof report || report[strlen(report) - 1] != '\n') abort();
    char small[64];
    compose_properties_report(&info, small, sizeof small);
    if (strlen(small) >= sizeof small) abort();

    char path[LINK_DIR_SIZE];
    std::string p = in.ConsumeRemainingBytesAsString().substr(0, sizeof path - 1);
    memcpy(path, p.c_str(), p.size() + 1);
    strip_file_name_with(path, lead_byte);
    if (strlen(path) > p.size()) abort();
    return 0;
}
