#include "settings/store_memory.h"

#include <cassert>

namespace kelvara {

bool MemoryStore::read(std::span<const std::string> names, std::span<std::optional<uint32_t>> values) const {
    assert(values.size() == names.size());
    for (auto& v : values)
        v.reset();
    if (!keyExists_)
        return false;
    for (std::size_t i = 0; i < names.size() && i < values.size(); ++i)
        values[i] = get(names[i]);
    return true;
}

bool MemoryStore::write(std::span<const StoredValue> values) {
    if (refuseWrites)
        return false;
    keyExists_ = true;
    for (const StoredValue& v : values)
        values_[v.name] = v.value;
    ++writeCount;
    return true;
}

void MemoryStore::set(const std::string& name, uint32_t value) {
    keyExists_ = true;
    values_[name] = value;
}

std::optional<uint32_t> MemoryStore::get(const std::string& name) const {
    auto it = values_.find(name);
    if (it == values_.end())
        return std::nullopt;
    return it->second;
}

} // namespace kelvara
