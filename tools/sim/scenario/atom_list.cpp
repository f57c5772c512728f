// Configuration atoms packed one after another, each at its class's record length.
#include <cstring>

#include "scenario/scenario.h"

namespace zsim {

namespace {

// Two words before each record: its class, then its operation code and sequence number.
constexpr size_t kHeadWords = 2;

size_t RecordWords(CfgClass cls)
{
    return RecordLen(cls) / sizeof(uint32_t);
}

static_assert(sizeof(ZelmLocInstCfg) % sizeof(uint32_t) == 0 && sizeof(ZelmLogicLocGrpCfg) % sizeof(uint32_t) == 0 &&
                  sizeof(ZelmCompInstCfg) % sizeof(uint32_t) == 0 && sizeof(ZelmCompNodeCfg) % sizeof(uint32_t) == 0,
              "records pack as whole words");
static_assert(alignof(ZelmLocInstCfg) <= alignof(uint32_t) && alignof(ZelmCompNodeCfg) <= alignof(uint32_t) &&
                  alignof(ZelmCompInstCfg) <= alignof(uint32_t) && alignof(ZelmLogicLocGrpCfg) <= alignof(uint32_t),
              "a record may lie at any word");

}  // namespace

uint32_t RecordLen(CfgClass cls)
{
    switch (cls) {
    case CfgClass::Location:
        return sizeof(ZelmLocInstCfg);
    case CfgClass::LogicGroup:
        return sizeof(ZelmLogicLocGrpCfg);
    case CfgClass::Component:
        return sizeof(ZelmCompInstCfg);
    case CfgClass::CompNode:
        return sizeof(ZelmCompNodeCfg);
    }
    return 0;
}

AtomRef AtomList::Iterator::operator*() const
{
    return AtomRef(static_cast<CfgClass>(at_[0]), static_cast<uint16_t>(at_[1] & 0xFFFFu),
                   static_cast<uint16_t>(at_[1] >> 16), at_ + kHeadWords);
}

AtomList::Iterator &AtomList::Iterator::operator++()
{
    at_ += kHeadWords + RecordWords(static_cast<CfgClass>(at_[0]));
    return *this;
}

AtomRef AtomList::At(size_t index) const
{
    Iterator it = begin();
    for (size_t i = 0; i < index; ++i) {
        ++it;
    }
    return *it;
}

void AtomList::push_back(const Atom &a)
{
    const size_t at = words_.size();
    words_.resize(at + kHeadWords + RecordWords(a.cls));
    words_[at] = static_cast<uint32_t>(a.cls);
    words_[at + 1] = a.opCode + (uint32_t{a.seq} << 16);
    std::memcpy(&words_[at + kHeadWords], &a.rec, RecordLen(a.cls));
    ++count_;
}

void AtomList::erase(size_t index)
{
    size_t at = 0;
    for (size_t i = 0; i < index; ++i) {
        at += kHeadWords + RecordWords(static_cast<CfgClass>(words_[at]));
    }
    const auto from = words_.begin() + static_cast<std::ptrdiff_t>(at);
    words_.erase(from, from + static_cast<std::ptrdiff_t>(kHeadWords + RecordWords(static_cast<CfgClass>(words_[at]))));
    --count_;
}

}  // namespace zsim
