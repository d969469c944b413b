#include "message/TmsAddressList.h"

#include "message/PropertyStream.h"

namespace qlk {

namespace ps = property_stream;

int TmsAddressList::AddAddress(std::string_view address, std::string_view name) {
    return Add(std::make_unique<TmsMailAddress>(address, name));
}

void TmsAddressList::Assign(const TmsAddressList& source) {
    CopyFrom(source);
}

void TmsAddressList::WriteProperties(std::ostream& out) const {
    if (Count() == 0) return;
    ps::WriteName(out, "Items");
    ps::WriteListBegin(out);
    for (const auto& item : Entries()) {
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
    ps::ReadProperties(in, [&](const std::string& name) { return ReadProperty(name, in); });
}

}  // namespace qlk
