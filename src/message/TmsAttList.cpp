#include "message/TmsAttList.h"

#include "message/PropertyStream.h"
#include "platform/EStreamError.h"

namespace qlk {

namespace ps = property_stream;

int TmsAttList::AddFile(std::string_view fileName) {
    auto item = std::make_unique<TmsAttItem>();
    item->SetFileName(fileName);
    item->LoadDataFromFile();
    return Add(std::move(item));
}

void TmsAttList::Assign(const TmsAttList& source) {
    CopyFrom(source);
}

void TmsAttList::WriteProperties(std::ostream& out) const {
    if (Count() == 0) return;
    ps::WriteName(out, "Items");
    ps::WriteListBegin(out);
    for (const auto& item : Entries()) {
        ps::WriteString(out, item->FileName());
        ps::WriteString(out, item->ContentType.str());
        ps::WriteInteger(out, item->Encoding);
    }
    ps::WriteListEnd(out);
}

bool TmsAttList::ReadProperty(const std::string& name, std::istream& in) {
    if (name != "Items") return false;
    Clear();
    ps::ReadListBegin(in);
    while (!ps::ReadListEnd(in)) {
        auto item = std::make_unique<TmsAttItem>();
        item->SetFileName(ps::ReadString(in));
        item->ContentType = ps::ReadString(in);
        const std::int32_t encoding = ps::ReadInteger(in);
        if (encoding < ae7Bit || encoding > aeQuotedPrintable) throw EStreamError("Invalid property value");
        item->Encoding = static_cast<TAttEncoding>(encoding);
        Add(std::move(item));
    }
    return true;
}

void TmsAttList::SaveToStream(std::ostream& out) const {
    WriteProperties(out);
    ps::WriteEndOfProperties(out);
}

void TmsAttList::LoadFromStream(std::istream& in) {
    Clear();
    ps::ReadProperties(in, [&](const std::string& name) { return ReadProperty(name, in); });
}

}  // namespace qlk
