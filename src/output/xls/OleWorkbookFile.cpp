#include "output/xls/OleWorkbookFile.h"

#include "base/AtomicFile.h"
#include "base/TextEncoding.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gsf/gsf-infile-impl.h>
#include <gsf/gsf.h>
#include <memory>
#include <mutex>
#include <unistd.h>

namespace vok {

namespace {

// The container library's own diagnostics ("This OLE2 file is invalid ...")
// would reach standard error beside vok's message about the same file, which
// already says what is wrong with it; they are dropped.
void DropLibraryDiagnostic(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// The container library sets itself up once per process, whichever job's
// thread gets here first.
void InitialiseGsf() {
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        const auto levels =
            static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION);
        for (const char* domain : {"libgsf", "libgsf:msole"})
            g_log_set_handler(domain, levels, DropLibraryDiagnostic, nullptr);
    });
}

struct GObjectUnref {
    void operator()(void* object) const {
        if (object) g_object_unref(object);
    }
};
template <typename T> using GsfPtr = std::unique_ptr<T, GObjectUnref>;

// Takes the message out of a GError (and frees it); `fallback` when there is none.
std::string TakeMessage(GError*& error, std::string_view fallback) {
    std::string message(fallback);
    if (error) {
        if (error->message && *error->message) message = error->message;
        g_error_free(error);
        error = nullptr;
    }
    return message;
}

bool ReadStream(GsfInput* input, std::string& bytes) {
    const gsf_off_t size = gsf_input_size(input);
    if (size < 0) return false;
    bytes.resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t chunk = std::min<size_t>(bytes.size() - done, 1 << 20);
        if (!gsf_input_read(input, chunk, reinterpret_cast<guint8*>(bytes.data() + done))) {
            return false;
        }
        done += chunk;
    }
    return true;
}

// The entry `index` of a storage. The library's own accessor prints a warning
// of its own when the entry is damaged; vok says what is wrong instead.
GsfInput* ChildByIndex(GsfInfile* parent, int index) {
    GError* error = nullptr;
    GsfInput* child =
        GSF_INFILE_CLASS(G_OBJECT_GET_CLASS(parent))->child_by_index(parent, index, &error);
    TakeMessage(error, "");
    return child;
}

// Reads a stream, or a storage and everything in it, into `entry`.
bool ReadEntry(GsfInfile* parent, int index, OleEntry& entry, int depth) {
    GsfPtr<GsfInput> child(ChildByIndex(parent, index));
    if (!child) return false;
    const char* name = gsf_infile_name_by_index(parent, index);
    entry.name = name ? name : "";
    const int count =
        GSF_IS_INFILE(child.get()) ? gsf_infile_num_children(GSF_INFILE(child.get())) : -1;
    if (count < 0) return ReadStream(child.get(), entry.bytes);
    // Storages nest; a file whose storages nest deeper than any writer makes
    // them is no workbook to keep.
    if (depth > 32) return false;
    entry.storage = true;
    if (GSF_IS_INFILE_MSOLE(child.get()))
        gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(child.get()), entry.classId.data());
    entry.children.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (!ReadEntry(GSF_INFILE(child.get()), i, entry.children[static_cast<size_t>(i)],
                       depth + 1)) {
            return false;
        }
    }
    return true;
}

bool IsZero(const OleClassId& id) {
    return std::all_of(id.begin(), id.end(), [](uint8_t b) { return b == 0; });
}

// Writes the entry (and, for a storage, everything in it) into `parent`.
bool WriteEntry(GsfOutfile* parent, const OleEntry& entry) {
    GsfPtr<GsfOutput> child(gsf_outfile_new_child(parent, entry.name.c_str(), entry.storage));
    if (!child) return false;
    bool ok = true;
    if (entry.storage) {
        if (!IsZero(entry.classId))
            gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(child.get()), entry.classId.data());
        for (const OleEntry& inner : entry.children)
            ok = ok && WriteEntry(GSF_OUTFILE(child.get()), inner);
    } else if (!entry.bytes.empty()) {
        ok = gsf_output_write(child.get(), entry.bytes.size(),
                              reinterpret_cast<const guint8*>(entry.bytes.data()));
    }
    return gsf_output_close(child.get()) && ok;
}

} // namespace

bool OleWorkbookFile::Read(const std::filesystem::path& path, OleWorkbookContents& contents,
                           std::string& reason) {
    InitialiseGsf();
    contents = {};
    GError* error = nullptr;
    GsfPtr<GsfInput> input(gsf_input_stdio_new(path.c_str(), &error));
    if (!input) {
        reason = TakeMessage(error, "it cannot be opened");
        return false;
    }
    GsfPtr<GsfInfile> ole(gsf_infile_msole_new(input.get(), &error));
    if (!ole) {
        TakeMessage(error, "");
        reason = "it is not an Excel 97-2003 workbook";
        return false;
    }
    // Entry names compare without regard to case in this container format.
    const int count = gsf_infile_num_children(ole.get());
    for (int i = 0; i < count; ++i) {
        const char* name = gsf_infile_name_by_index(ole.get(), i);
        const std::string_view entry = name ? name : "";
        if (EqualsNoCase(entry, "Workbook") && !contents.hasWorkbookStream) {
            GsfPtr<GsfInput> stream(ChildByIndex(ole.get(), i));
            if (!stream || !ReadStream(stream.get(), contents.workbook)) {
                reason = "its workbook stream cannot be read";
                return false;
            }
            contents.hasWorkbookStream = true;
        } else {
            if (EqualsNoCase(entry, "Book")) contents.hasOldBookStream = true;
            if (!ReadEntry(ole.get(), i, contents.others.emplace_back(), 0)) {
                // Names such as "\005SummaryInformation" begin with a control character.
                std::string shown(entry);
                std::erase_if(shown, [](char c) { return static_cast<unsigned char>(c) < 0x20; });
                reason = "its entry \"" + shown + "\" cannot be read";
                return false;
            }
        }
    }
    gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(ole.get()), contents.rootClassId.data());
    return true;
}

bool OleWorkbookFile::Write(const std::filesystem::path& path, std::string_view workbook,
                            std::string& reason, const StopRequest* stop) {
    return Write(path, workbook, {}, OleClassId{}, reason, stop);
}

bool OleWorkbookFile::Write(const std::filesystem::path& path, std::string_view workbook,
                            const std::vector<OleEntry>& others, const OleClassId& rootClassId,
                            std::string& reason, const StopRequest* stop) {
    InitialiseGsf();
    // 1. The container in memory, so that nothing touches the disk until it is
    //    complete.
    GsfPtr<GsfOutput> sink(gsf_output_memory_new());
    GsfPtr<GsfOutfile> ole(sink ? gsf_outfile_msole_new(sink.get()) : nullptr);
    if (!ole) {
        reason = "cannot build the file in memory";
        return false;
    }
    GsfPtr<GsfOutput> stream(gsf_outfile_new_child(ole.get(), "Workbook", FALSE));
    bool ok = stream && gsf_output_write(stream.get(), workbook.size(),
                                         reinterpret_cast<const guint8*>(workbook.data()));
    if (stream) ok = gsf_output_close(stream.get()) && ok;
    stream.reset();
    for (const OleEntry& entry : others)
        ok = ok && WriteEntry(ole.get(), entry);
    if (!IsZero(rootClassId))
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(ole.get()), rootClassId.data());
    ok = gsf_output_close(GSF_OUTPUT(ole.get())) && ok;
    const gsf_off_t size = gsf_output_size(sink.get());
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
    if (!ok || !bytes || size <= 0) {
        reason = "cannot build the file in memory";
        return false;
    }
    // 2. Onto the disk in one replacement; the temporary file goes away
    //    unless the replacement is committed. An output is not waited for.
    return ReplaceFileContents(
        path, std::string_view(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size)),
        reason, AtomicFile::Durability::Unsynced, stop);
}

} // namespace vok
