#pragma once

#include <ostream>
#include <string>

#include "app/Insertion/TextInserter.hpp"
#include "app/Insertion/TextReplacement.hpp"

// How a failed check shows an insertion's or an undo's outcome: one
// definition for every desktop test of the binary.
namespace Parlox {

inline void PrintTo(const TextInserter::Outcome& o, std::ostream* os) {
    switch (o.kind) {
        case TextInserter::Outcome::Kind::inserted:
            *os << "inserted(" << (o.at ? std::to_string(*o.at) : "nil") << ", " << o.selected << ")";
            return;
        case TextInserter::Outcome::Kind::copied: *os << "copied(" << o.message << ")"; return;
        case TextInserter::Outcome::Kind::failed: *os << "failed(" << o.message << ")"; return;
        case TextInserter::Outcome::Kind::calledOff: *os << "calledOff"; return;
    }
}

inline void PrintTo(const TextReplacement::Outcome& o, std::ostream* os) {
    switch (o.kind) {
        case TextReplacement::Outcome::Kind::replaced: *os << "replaced"; return;
        case TextReplacement::Outcome::Kind::commandZ: *os << "commandZ"; return;
        case TextReplacement::Outcome::Kind::failed: *os << "failed(" << o.reason << ")"; return;
    }
}

}  // namespace Parlox
