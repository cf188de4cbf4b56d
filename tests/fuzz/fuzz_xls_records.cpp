// The .xls record stream: the input is the Workbook stream itself, put into
// a container by the container library, then opened, changed, saved and
// opened again (see RoundTripWorkbook), so that the fuzzer works on the
// records vok reads and rewrites rather than on the container around them.
#include "fuzz/FuzzSupport.h"

#include <cstdlib>
#include <gsf/gsf.h>

namespace {

void WriteContainer(const std::filesystem::path& file, const uint8_t* data, size_t size) {
    static const bool initialised = (gsf_init(), true);
    (void)initialised;
    GError* error = nullptr;
    GsfOutput* sink = gsf_output_stdio_new(file.c_str(), &error);
    if (!sink) std::abort();
    GsfOutfile* ole = gsf_outfile_msole_new(sink);
    g_object_unref(sink);
    GsfOutput* stream = gsf_outfile_new_child(ole, "Workbook", FALSE);
    if (!gsf_output_write(stream, size, data) || !gsf_output_close(stream)) std::abort();
    g_object_unref(stream);
    if (!gsf_output_close(GSF_OUTPUT(ole))) std::abort();
    g_object_unref(ole);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path file = vok::fuzz::ScratchPath("records.xls");
    WriteContainer(file, data, size);
    vok::fuzz::RoundTripWorkbookFile(file, vok::OutputType::Xls);
    return 0;
}
