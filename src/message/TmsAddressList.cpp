#include "message/TmsAddressList.h"

#include "message/ListIndexError.h"
#include "message/PropertyStream.h"
#include "platform/EStreamError.h"

namespace qlk {

namespace ps = property_stream;

TmsMailAddress& TmsAddressList::Items(int index) {
    CheckListIndex(index, Count());
    return *items_[static_cast<std::size_t>(index)];
}

const TmsMailAddress& TmsAddressList::Items(int index) const {
    CheckListIndex(index, Count());
    return *items_[static_cast<std::size_t>(index)];
}

int TmsAddressList::Add(std::unique_ptr<TmsMailAddress> address) {
    items_.push_back(std::move(address));
    return Count() - 1;
}

int TmsAddressList::AddAddress(std::string_view address, std::string_view name) {
    return Add(std::make_unique<TmsMailAddress>(address, name));
}

void TmsAddressList::Clear() {
    while (!items_.empty()) items_.pop_back();
}

void TmsAddressList::Assign(const TmsAddressList& source) {
    if (&source == this) return;
    Clear();
    for (const auto& item : source.items_) Add(std::make_unique<TmsMailAddress>(*item));
}

void TmsAddressList::WriteProperties(std::ostream& out) const {
    if (items_.empty()) return;
    ps::WriteName(out, "Items");
    ps::WriteListBegin(out);
    for (const auto& item : items_) {
        ps::WriteString(out, item->Name.str());
        ps::WriteString(out, item->Address.str());
    }
    ps::WriteListEnd(out);
}

bool TmsAddressList::ReadProperty(const std::string& name, std::istream& in) {
    if (name != "Items") return false;
    Clear();
    ps::ReadListBegin(in);
    while (!ps::ReadListEnd(in)) {
        auto address = std::make_unique<TmsMailAddress>();
        address->Name = ps::ReadString(in);
        address->Address = ps::ReadString(in);
        Add(std::move(address));
    }
    return true;
}

void TmsAddressList::SaveToStream(std::ostream& out) const {
    WriteProperties(out);
    ps::WriteEndOfProperties(out);
}

void TmsAddressList::LoadFromStream(std::istream& in) {
    Clear();
    for (std::string name = ps::ReadName(in); !name.empty(); name = ps::ReadName(in)) {
        if (!ReadProperty(name, in)) throw EStreamError("Property " + name + " does not exist");
    }
}

}  // namespace qlk
