#include "message/TmsAttList.h"

#include "message/ListIndexError.h"
#include "message/PropertyStream.h"
#include "platform/EStreamError.h"

namespace qlk {

namespace ps = property_stream;

TmsAttItem& TmsAttList::Items(int index) {
    CheckListIndex(index, Count());
    return *items_[static_cast<std::size_t>(index)];
}

const TmsAttItem& TmsAttList::Items(int index) const {
    CheckListIndex(index, Count());
    return *items_[static_cast<std::size_t>(index)];
}

int TmsAttList::Add(std::unique_ptr<TmsAttItem> item) {
    items_.push_back(std::move(item));
    return Count() - 1;
}

int TmsAttList::AddFile(std::string_view fileName) {
    auto item = std::make_unique<TmsAttItem>();
    item->SetFileName(fileName);
    item->LoadDataFromFile();
    return Add(std::move(item));
}

void TmsAttList::Clear() {
    while (!items_.empty()) items_.pop_back();
}

void TmsAttList::Assign(const TmsAttList& source) {
    if (&source == this) return;
    Clear();
    for (const auto& item : source.items_) Add(std::make_unique<TmsAttItem>(*item));
}

void TmsAttList::WriteProperties(std::ostream& out) const {
    if (items_.empty()) return;
    ps::WriteName(out, "Items");
    ps::WriteListBegin(out);
    for (const auto& item : items_) {
        ps::WriteString(out, item->FileName().str());
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
    for (std::string name = ps::ReadName(in); !name.empty(); name = ps::ReadName(in)) {
        if (!ReadProperty(name, in)) throw EStreamError("Property " + name + " does not exist");
    }
}

}  // namespace qlk
