// Helpers the .xlsx engine's tests share: opening and saving that must
// succeed, and the parts of a package as text.
#pragma once

#include "output/Workbook.h"
#include "output/xlsx/ZipPackage.h"

#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>

namespace vok::test {

inline std::unique_ptr<Workbook> OpenOk(const std::string& file) {
    WorkbookOpenResult opened = OpenWorkbookFile(file, OutputType::Xlsx);
    EXPECT_TRUE(opened.workbook) << opened.error;
    return std::move(opened.workbook);
}

inline void SaveOk(Workbook& book) {
    std::string error;
    EXPECT_TRUE(book.Save(error)) << error;
}

// Every part of the package by name.
inline std::map<std::string, std::string> ReadPackage(const std::string& path) {
    std::map<std::string, std::string> parts;
    std::string error;
    auto zip = ZipPackage::Open(path, error);
    EXPECT_TRUE(zip) << error;
    if (!zip) return parts;
    for (const std::string& name : zip->Names()) {
        EXPECT_TRUE(zip->Read(name, parts[name], error)) << error;
    }
    return parts;
}

inline bool Contains(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

} // namespace vok::test
