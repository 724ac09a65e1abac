// zrk-make-sheets: writes synthetic many-up sheets with their ground truth (see assist/SheetGenerator.h),
// for trying the assisted set-up by hand and for corpora that scripts evaluate it on.

#include "assist/SheetGenerator.h"

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: zrk-make-sheets [options] OUTDIR\n"
    "Writes synthetic many-up sheets (reference image, camera images, per-pass masks) and a JSON truth file\n"
    "per sheet into OUTDIR. Without options one sheet is drawn at random from seed 1.\n"
    "  --seed N            first seed (default 1); sheet k uses seed N + k\n"
    "  --count K           number of sheets (default 1)\n"
    "  --min-side PX       random sizes: shortest long side (default 1024)\n"
    "  --max-side PX       random sizes: longest long side (default 2048)\n"
    "  --size WxH          this image size instead of a random one\n"
    "  --sheets CxR        small sheets across and down\n"
    "  --gutter PX         gutter in both directions\n"
    "  --angle DEG         rotation\n"
    "  --trap NAME         none, motif-twice, motif-twice-exact or near-blank\n"
    "  --traps P           probability of a random trap (default 0.1)\n"
    "  --grey | --colour   grey or colour images\n"
    "  --cameras CxR       also cut camera images in a grid of C x R\n"
    "  --camera-size WxH   camera image size (the sheet size then follows from it)\n"
    "  --overlap PX        nominal camera overlap (default 200)\n"
    "  --blank-overlap K   blank out overlap K (truth order) in both cameras\n"
    "  --format F          png, bmp or both (default both)\n"
    "  --help              this text\n"
    "Exit codes: 0 written, 2 wrong options, 3 the sheet could not be made or written.\n";

bool ParsePair(const std::string& text, int& a, int& b) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos)
        return false;
    char* end = nullptr;
    a = static_cast<int>(std::strtol(text.c_str(), &end, 10));
    if (end != text.c_str() + x)
        return false;
    b = static_cast<int>(std::strtol(text.c_str() + x + 1, &end, 10));
    return *end == '\0' && a > 0 && b > 0;
}

bool ParseInt(const std::string& text, long long& value) {
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0';
}

int Wrong(const std::string& why) {
    std::fprintf(stderr, "zrk-make-sheets: %s\n(see zrk-make-sheets --help)\n", why.c_str());
    return 2;
}

bool Write(const std::filesystem::path& path, const cv::Mat& image) {
    try {
        return cv::imwrite(path.string(), image);
    } catch (const cv::Exception&) {
        return false;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    long long seed = 1, count = 1, minSide = 1024, maxSide = 2048, blankOverlap = -1, overlap = 200, gutter = -1;
    int width = 0, height = 0, cols = 0, rows = 0, camCols = 0, camRows = 0, camW = 0, camH = 0;
    double angle = 0.0, trapChance = 0.1;
    bool angleSet = false;
    int colour = -1;
    std::string trap, format = "both", outDir;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](std::string& v) {
            if (i + 1 >= args.size())
                return false;
            v = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--grey") {
            colour = 0;
        } else if (a == "--colour") {
            colour = 1;
        } else if (a == "--seed" || a == "--count" || a == "--min-side" || a == "--max-side" ||
                   a == "--blank-overlap" || a == "--overlap" || a == "--gutter") {
            long long n = 0;
            if (!value(v) || !ParseInt(v, n))
                return Wrong(a + " needs a whole number");
            (a == "--seed" ? seed : a == "--count" ? count : a == "--min-side" ? minSide : a == "--max-side" ? maxSide
             : a == "--blank-overlap" ? blankOverlap : a == "--overlap" ? overlap : gutter) = n;
        } else if (a == "--size" || a == "--sheets" || a == "--cameras" || a == "--camera-size") {
            int x = 0, y = 0;
            if (!value(v) || !ParsePair(v, x, y))
                return Wrong(a + " needs two positive numbers as AxB");
            if (a == "--size") {
                width = x;
                height = y;
            } else if (a == "--sheets") {
                cols = x;
                rows = y;
            } else if (a == "--cameras") {
                camCols = x;
                camRows = y;
            } else {
                camW = x;
                camH = y;
            }
        } else if (a == "--angle" || a == "--traps") {
            if (!value(v))
                return Wrong(a + " needs a number");
            char* end = nullptr;
            const double d = std::strtod(v.c_str(), &end);
            if (*end != '\0' || v.empty())
                return Wrong(a + " needs a number");
            if (a == "--angle") {
                angle = d;
                angleSet = true;
            } else {
                trapChance = d;
            }
        } else if (a == "--trap" || a == "--format") {
            if (!value(v))
                return Wrong(a + " needs a value");
            (a == "--trap" ? trap : format) = v;
        } else if (!a.empty() && a[0] == '-') {
            return Wrong("unknown option " + a);
        } else if (outDir.empty()) {
            outDir = a;
        } else {
            return Wrong("one output folder only");
        }
    }
    if (outDir.empty())
        return Wrong("no output folder given");
    if (format != "png" && format != "bmp" && format != "both")
        return Wrong("--format takes png, bmp or both");
    if (count < 1 || count > 100000)
        return Wrong("--count must be 1 ... 100000");
    SheetTrap trapKind = SheetTrap::None;
    if (!trap.empty()) {
        if (trap == "motif-twice")
            trapKind = SheetTrap::MotifTwice;
        else if (trap == "motif-twice-exact")
            trapKind = SheetTrap::MotifTwiceExact;
        else if (trap == "near-blank")
            trapKind = SheetTrap::NearBlank;
        else if (trap != "none")
            return Wrong("unknown trap " + trap);
    }

    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    for (long long k = 0; k < count; ++k) {
        const uint64_t s = static_cast<uint64_t>(seed + k);
        CSheetRecipe recipe = RandomSheetRecipe(s, static_cast<int>(minSide), static_cast<int>(maxSide), trapChance);
        if (width > 0) {
            recipe.m_nWidth = width;
            recipe.m_nHeight = height;
        }
        if (cols > 0) {
            recipe.m_nColumns = cols;
            recipe.m_nRows = rows;
        }
        if (gutter >= 0)
            recipe.m_nGutterX = recipe.m_nGutterY = static_cast<int>(gutter);
        if (angleSet)
            recipe.m_dAngle = angle;
        if (colour >= 0)
            recipe.m_bColour = colour == 1;
        if (!trap.empty())
            recipe.m_trap = trapKind;
        recipe.m_nCamColumns = camCols;
        recipe.m_nCamRows = camRows;
        recipe.m_nCamWidth = camW;
        recipe.m_nCamHeight = camH;
        recipe.m_nCamOverlapX = recipe.m_nCamOverlapY = static_cast<int>(overlap);
        recipe.m_nBlankOverlap = static_cast<int>(blankOverlap);
        CGeneratedSheet sheet;
        try {
            sheet = GenerateSheet(recipe);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "zrk-make-sheets: seed %llu: %s\n", static_cast<unsigned long long>(s), e.what());
            return 3;
        }
        const std::string stem = "sheet-" + std::to_string(s);
        const std::filesystem::path dir(outDir);
        std::vector<std::string> images, masks, cams;
        const auto save = [&](const std::string& base, const cv::Mat& image, std::vector<std::string>* names) {
            for (const char* ext : {".png", ".bmp"}) {
                if (format != "both" && format != ext + 1)
                    continue;
                const std::string name = base + ext;
                if (!Write(dir / name, image))
                    return false;
                if (names)
                    names->push_back(name);
            }
            return true;
        };
        bool ok = save(stem, sheet.m_image, &images);
        for (const CSheetPass& pass : sheet.m_truth.m_passes) {
            const std::string name = stem + "-mask-" + pass.m_strName + ".png";
            ok = ok && Write(dir / name, pass.m_mask);
            masks.push_back(name);
        }
        for (size_t c = 0; c < sheet.m_cameras.size(); ++c) {
            const CSheetCameraTruth& cam = sheet.m_truth.m_cameras[c];
            std::vector<std::string> names;
            ok = ok && save(stem + "-cam-" + std::to_string(cam.m_nColumn) + "-" + std::to_string(cam.m_nRow),
                            sheet.m_cameras[c], &names);
            if (!names.empty())
                cams.push_back(names.front());
        }
        std::ofstream json(dir / (stem + ".json"), std::ios::binary);
        json << SheetTruthJson(sheet, images, masks, cams);
        if (!ok || !json) {
            std::fprintf(stderr, "zrk-make-sheets: cannot write into %s\n", outDir.c_str());
            return 3;
        }
        std::printf("%s: %dx%d, %dx%d sheets, trap %s\n", stem.c_str(), sheet.m_image.cols, sheet.m_image.rows,
                    sheet.m_truth.m_nColumns, sheet.m_truth.m_nRows, SheetTrapName(recipe.m_trap).c_str());
    }
    return 0;
}
