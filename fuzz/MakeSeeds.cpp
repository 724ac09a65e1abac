// Writes the seed inputs of the fuzz targets that are made rather than copied, into <folder>/<target>/:
// model blobs (from the models of a version-1 store given as the second argument, when it is, and made
// here), area files, point lists, BMP, PNG and TIFF images, and small many-up sheets.

#include "assist/SheetGenerator.h"
#include "datastruct/InspType.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Phase.h"
#include "datastruct/Side.h"
#include "datastruct/StoreTransfer.h"
#include "datastruct/TemplateStore.h"
#include "editor/AreaFile.h"
#include "formats/CodePage.h"
#include "geometry/BmpFile.h"
#include "geometry/ImgBuffer.h"
#include "geometry/MaskArea.h"
#include "geometry/Polygon.h"

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& folder, const std::string& name, const std::string& bytes) {
    fs::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary) << bytes;
}

CMaskArea* Square(int x, int y, int side) {
    auto* area = new CPhaseMaskArea;
    area->SetPoints({{x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}});
    return area;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [TEMPLATES-V1.db]\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];

    // Models: empty, and with a side, a phase and areas.
    {
        CModelInfo empty;
        Write(out / "fuzz_model", "empty", EncodeModel(empty));
    }
    if (argc > 2) {
        const fs::path copy = out / "v1.db";
        fs::copy_file(argv[2], copy, fs::copy_options::overwrite_existing);
        CTemplateStore store;
        std::vector<CModelCatalogEntry> models;
        if (store.Open(copy.wstring()) && store.ListModels(models)) {
            for (const CModelCatalogEntry& m : models) {
                std::string data;
                bool found = false;
                if (store.LoadModelData(m.m_nID, data, found) && found)
                    Write(out / "fuzz_model", "store-" + std::to_string(m.m_nID), data);
            }
        }
        store.Close();
        for (const char* suffix : {"", "-wal", "-shm"})
            fs::remove(copy.string() + suffix);
    }

    // Area files: an outline alone, and one with a hole and parameters.
    {
        CPhaseMaskArea area;
        area.SetPoints({{10, 20}, {30, 20}, {30, 40}});
        Write(out / "fuzz_areafile", "outline.ini", WideToUtf8(GetAreaText(area)));
        area.m_strParameters = L"[灵敏度]\r\nType=3\r\nValue=5\r\n[END]\r\n[定位核X]\r\nType=0\r\nValue=2\r\n[END]";
        area.m_children.Add(Square(12, 22, 4));
        const std::wstring text = GetAreaText(area);
        Write(out / "fuzz_areafile", "holes.ini", WideToUtf8(text));
        Write(out / "fuzz_areafile", "holes-utf16.ini", "\xFF\xFE" + WideToUtf16Le(text));
        Write(out / "fuzz_script", "area.txt", WideToUtf8(text));
    }
    Write(out / "fuzz_points", "points", WideToUtf8(FormatPoints({{1, 2}, {-30, 40}, {2147483647, -2147483647}})));

    // Images of each kind the readers take.
    for (const auto& [format, name] : {std::pair{IMG_FORMAT_MONO8, "grey"}, {IMG_FORMAT_RGB24, "rgb"},
                                      {IMG_FORMAT_RGB32, "rgba"}}) {
        CImgBuffer buffer(1, 7, 5, format);
        if (!buffer.Create())
            return 1;
        for (size_t i = 0; i < buffer.GetMat().total() * buffer.GetMat().elemSize(); ++i)
            buffer.GetMat().data[i] = static_cast<uint8_t>(i * 37);
        const std::vector<uint8_t> bmp = EncodeBmp(buffer);
        const std::vector<uint8_t> topDown = EncodeBmp(buffer, true);
        Write(out / "fuzz_bmp", std::string(name) + ".bmp", std::string(bmp.begin(), bmp.end()));
        Write(out / "fuzz_bmp", std::string(name) + "-topdown.bmp", std::string(topDown.begin(), topDown.end()));
        Write(out / "fuzz_camera_image", std::string(name) + ".bmp", std::string(bmp.begin(), bmp.end()));
        for (const char* ext : {".png", ".tif"}) {
            std::vector<uint8_t> encoded;
            if (cv::imencode(ext, buffer.GetMat(), encoded))
                Write(out / "fuzz_camera_image", std::string(name) + ext,
                      std::string(encoded.begin(), encoded.end()));
        }
    }
    // Small many-up sheets for the assisted set-up's analyses, grey and colour, as PNG and BMP.
    for (const auto& [seed, colour] : {std::pair{1, true}, {2, false}}) {
        CSheetRecipe recipe;
        recipe.m_nSeed = static_cast<uint64_t>(seed);
        recipe.m_nWidth = 240;
        recipe.m_nHeight = 180;
        recipe.m_nColumns = 3;
        recipe.m_nRows = 2;
        recipe.m_nGutterX = recipe.m_nGutterY = 8;
        recipe.m_bColour = colour;
        const CGeneratedSheet sheet = GenerateSheet(recipe);
        for (const char* ext : {".png", ".bmp"}) {
            std::vector<uint8_t> encoded;
            if (cv::imencode(ext, sheet.m_image, encoded))
                Write(out / "fuzz_assist_image", "sheet-" + std::to_string(seed) + ext,
                      std::string(encoded.begin(), encoded.end()));
        }
        // The area proposal's input: 8 bytes of split and options (3 x 2 sheets, no crop, 2 passes, gap 12,
        // margins 4 and 6), then the image.
        std::vector<uint8_t> png;
        if (cv::imencode(".png", sheet.m_image, png)) {
            const std::string header{'\x02', '\x01', '\x00', '\x00', '\x00', '\x00', '\x31', '\x64'};
            Write(out / "fuzz_assist_areas", "sheet-" + std::to_string(seed) + ".bin",
                  header + std::string(png.begin(), png.end()));
        }
    }
    // zrk-store's export file: a model saved three times (a full copy and two differences), as exported; the
    // target reads the input after its first byte, which an even value leaves as the file itself.
    {
        const fs::path store = out / "export-source.db";
        fs::remove(store);
        CTemplateStore source;
        CModelInfo model;
        if (source.Open(store.wstring())) {
            for (int save = 0; save < 3; ++save) {
                source.SetSaveSummary(L"第 " + std::to_wstring(save + 1) + L" 次");
                model.m_strTitle = L"版本 " + std::to_wstring(save);
                source.SaveModelData(1, L"样例", model.m_strTitle, EncodeModel(model));
            }
            const fs::path file = out / "export.zrkx";
            if (ExportModel(source, 1, file.wstring()).Ok()) {
                std::ifstream in(file, std::ios::binary);
                const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                Write(out / "fuzz_export_file", "model", std::string(1, '\0') + bytes);
            }
        }
    }
    return 0;
}
