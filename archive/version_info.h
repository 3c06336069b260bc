// TVersionInfo: the fifteen texts read from a file's version resource by
// TVersionResource. None of them is stored with a project.
#pragma once

#include <array>
#include <string>

#include "framework/persistent.h"

namespace brimwell {

class TVersionInfo : public TPersistent {
  BRIMWELL_CLASS_INFO()

 public:
  // The fields in their published order.
  enum Field {
    kComment,
    kCompanyName,
    kFileDescription,
    kFileVersion,
    kInternalName,
    kLegalCopyright,
    kLegalTradeMarks,
    kOriginalFileName,
    kPrivateBuild,
    kProductName,
    kProductVersion,
    kSpecialBuild,
    kFileOS,
    kFileType,
    kFileSubType,
    kFieldCount
  };
  // The published names, by field ("Comment", ..., "FileSubType").
  static const std::array<const char*, kFieldCount>& FieldNames();

  const std::string& Get(Field f) const { return fields_[f]; }
  void Set(Field f, std::string value) { fields_[f] = std::move(value); }
  void Clear() { fields_.fill(std::string()); }

  const std::string& Comment() const { return fields_[kComment]; }
  const std::string& CompanyName() const { return fields_[kCompanyName]; }
  const std::string& FileDescription() const { return fields_[kFileDescription]; }
  const std::string& FileVersion() const { return fields_[kFileVersion]; }
  const std::string& InternalName() const { return fields_[kInternalName]; }
  const std::string& LegalCopyright() const { return fields_[kLegalCopyright]; }
  const std::string& LegalTradeMarks() const { return fields_[kLegalTradeMarks]; }
  const std::string& OriginalFileName() const { return fields_[kOriginalFileName]; }
  const std::string& PrivateBuild() const { return fields_[kPrivateBuild]; }
  const std::string& ProductName() const { return fields_[kProductName]; }
  const std::string& ProductVersion() const { return fields_[kProductVersion]; }
  const std::string& SpecialBuild() const { return fields_[kSpecialBuild]; }
  const std::string& FileOS() const { return fields_[kFileOS]; }
  const std::string& FileType() const { return fields_[kFileType]; }
  const std::string& FileSubType() const { return fields_[kFileSubType]; }

 private:
  std::array<std::string, kFieldCount> fields_;
};

}  // namespace brimwell
