// zrk-store's export file (datastruct/StoreContainer.h), read as `zrk-store import` reads it before it writes.
// An input whose first byte is even is the file itself: any bytes are refused with a reason or read, never
// crash, hang or read outside the file. An odd first byte frames the rest into sections of a file whose end
// mark, length and checksum hold (each section: type, a 16-bit length, the payload), so that the fuzzer
// reaches the sections' content behind the checksum. Property: such a file is never refused as cut short or
// for its checksum, and a refusal always says why.

#include "FuzzSupport.h"

#include "datastruct/StoreContainer.h"
#include "datastruct/StoreTransfer.h"
#include "formats/CodePage.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    std::string path;
    const bool framed = data[0] & 1;
    if (!framed) {
        path = fuzz::WriteScratch("export.zrkx", data + 1, size - 1);
    } else {
        path = fuzz::ScratchPath("framed.zrkx");
        CContainerWriter writer;
        if (!writer.Open(Utf8ToWide(path)))
            std::abort();
        size_t at = 1;
        while (at + 3 <= size) {
            // Types 1 to 5 and the end's, mostly; others now and then.
            const uint8_t pick = data[at];
            const uint32_t type = pick < 250 ? 1 + pick % 5 : pick == 250 ? StoreContainerSection::kEnd
                                                                          : (pick == 251 ? 0x80000001u : pick);
            const size_t length = std::min<size_t>(data[at + 1] | (data[at + 2] << 8), size - at - 3);
            CContainerPayload payload;
            payload.PutRaw(std::string_view(reinterpret_cast<const char*>(data + at + 3), length));
            if (type != StoreContainerSection::kEnd && !writer.Write(type, payload))
                std::abort();
            at += 3 + length;
        }
        if (!writer.Finish())
            std::abort();
    }
    const CTransferResult result = CheckExportFile(Utf8ToWide(path));
    FUZZ_CHECK(result.m_nStatus == TransferStatus::Done || !result.m_strError.empty());
    if (framed) {
        const std::string error = WideToUtf8(result.m_strError);
        FUZZ_CHECK(error.find("cut short") == std::string::npos);
        FUZZ_CHECK(error.find("checksum (SHA-256)") == std::string::npos);
    }
    return 0;
}
