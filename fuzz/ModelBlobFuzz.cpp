// The store's model blobs. Property: a blob that decodes encodes into bytes that decode and encode the same.

#include "FuzzSupport.h"

#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CModelInfo model;
    try {
        DecodeModel(std::string_view(reinterpret_cast<const char*>(data), size), model);
    } catch (const std::exception&) {
        return 0;  // refused with a reason: what the store's reader expects
    }
    std::string encoded;
    try {
        encoded = EncodeModel(model);
    } catch (const std::exception&) {
        fuzz::Broken("a decoded model cannot be encoded");
    }
    CModelInfo again;
    try {
        DecodeModel(encoded, again);
    } catch (const std::exception&) {
        fuzz::Broken("an encoded model does not decode");
    }
    FUZZ_CHECK(EncodeModel(again) == encoded);
    return 0;
}
