// Whatever a stored file holds, loading it gives the values or a
// CArchiveException, never reads past the end and leaves no object behind;
// what loads stores again into bytes that load and store back unchanged.
//
// The input is read as counted strings, and then as a run of steps: a
// byte chooses how the next value is read (an object of some expected
// class, an owned object, an object array or a counted string).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "framework/archive.h"
#include "unit/framework/stored_shapes.h"

namespace {

enum Step : uint8_t { kShape, kDot, kOwnedShape, kArray, kString, kSteps };

struct Loaded {
    Step step = kShape;
    CObject* object = nullptr; // kShape, kDot, kOwnedShape
    std::vector<CObject*> array;
    WString text;
};

struct Document {
    std::vector<Loaded> steps;
    std::vector<CObject*> owned; // every object read new at the top

    Document() = default;
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;
    ~Document() {
        for (CObject* o : owned) {
            delete o;
        }
    }
};

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "archive_fuzz: %s\n", what);
    std::abort();
}

// True when the whole input loaded; on an archive exception false, with
// whatever was read before still in doc.
bool Load(const uint8_t* data, size_t size, Document& doc) {
    CArchive ar(data, size);
    try {
        while (ar.Remaining() > 0) {
            uint8_t b = 0;
            ar >> b;
            Loaded l;
            l.step = static_cast<Step>(b % kSteps);
            int before = CShape::Live();
            switch (l.step) {
            case kShape:
            case kDot:
            case kOwnedShape: {
                const CRuntimeClass* expected =
                    l.step == kDot ? RUNTIME_CLASS(CDot) : RUNTIME_CLASS(CShape);
                l.object =
                    l.step == kOwnedShape ? ar.ReadOwnedObject(expected) : ar.ReadObject(expected);
                // Only shapes are expected, so a new object shows in the
                // count; a reference back does not.
                if (CShape::Live() > before) {
                    doc.owned.push_back(l.object);
                } else if (l.step == kOwnedShape && l.object) {
                    Fail("an owned read handed out an object read before");
                }
                break;
            }
            case kArray:
                l.array = ReadObjectArray(ar, RUNTIME_CLASS(CShape));
                doc.owned.insert(doc.owned.end(), l.array.begin(), l.array.end());
                break;
            case kString:
                l.text = ar.ReadString();
                break;
            default:
                break;
            }
            if (l.object && !l.object->IsKindOf(RUNTIME_CLASS(CShape))) {
                Fail("an object of a class not asked for");
            }
            doc.steps.push_back(std::move(l));
        }
    } catch (const CArchiveException&) {
        return false;
    }
    return true;
}

std::vector<uint8_t> Store(const Document& doc) {
    std::vector<uint8_t> out;
    CArchive ar(out);
    for (const Loaded& l : doc.steps) {
        ar << static_cast<uint8_t>(l.step);
        switch (l.step) {
        case kArray:
            WriteObjectArray(ar, l.array);
            break;
        case kString:
            ar << l.text;
            break;
        default:
            ar.WriteObject(l.object);
            break;
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    {
        CArchive ar(data, size);
        try {
            while (ar.Remaining() > 0) {
                (void)ar.ReadString();
            }
        } catch (const CArchiveException&) {
        }
    }

    std::vector<uint8_t> first;
    {
        Document doc;
        if (Load(data, size, doc)) {
            first = Store(doc);
        }
    }
    if (CShape::Live() != 0) {
        Fail("objects left behind");
    }
    if (first.empty()) {
        return 0;
    }
    std::vector<uint8_t> second;
    {
        Document doc;
        if (!Load(first.data(), first.size(), doc)) {
            Fail("what was stored does not load");
        }
        second = Store(doc);
    }
    if (second != first) {
        Fail("storing what was loaded changed it");
    }
    if (CShape::Live() != 0) {
        Fail("objects left behind");
    }
    return 0;
}
