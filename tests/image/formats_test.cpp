// The library-backed formats: every file is read back with the encoder's own library and,
// where it is installed, with ImageMagick, and compared with the PPM of the same picture.

#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

// libjpeg's header needs FILE and size_t declared before it.
#include <jpeglib.h>

#include "image/image.h"
#include "model/fatal.h"
#include "model/globals.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

// Every channel follows its own rule and no two neighbours are alike, so a swapped channel, a
// transposed picture or a misplaced row shows.
Picture pattern(int width, int height) {
    Picture picture{width, height, Bytes(3 * static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* pixel = picture.row(y) + 3 * x;
            pixel[0] = static_cast<unsigned char>(37 * x + 11 * y);
            pixel[1] = static_cast<unsigned char>(5 * x + 53 * y + 7);
            pixel[2] = static_cast<unsigned char>(255 - 3 * x * y);
        }
    }
    return picture;
}

// Gradients only: what JPEG is made for.
Picture smooth(int width, int height) {
    Picture picture{width, height, Bytes(3 * static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* pixel = picture.row(y) + 3 * x;
            pixel[0] = static_cast<unsigned char>(255 * x / (width - 1));
            pixel[1] = static_cast<unsigned char>(255 * y / (height - 1));
            pixel[2] = static_cast<unsigned char>(255 - (pixel[0] + pixel[1]) / 2);
        }
    }
    return picture;
}

// Peak signal-to-noise ratio of `decoded` against `original`, in decibels.
double psnr(const Bytes& original, const Bytes& decoded) {
    double squares = 0;
    for (std::size_t i = 0; i < original.size(); ++i) {
        const double difference = double(original[i]) - double(decoded[i]);
        squares += difference * difference;
    }
    const double meanSquare = squares / double(original.size());
    return meanSquare == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / meanSquare);
}

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// What a shell command prints on standard output and standard error.
std::string commandOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        for (int c; (c = std::fgetc(pipe)) != EOF;) output += static_cast<char>(c);
        pclose(pipe);
    }
    return output;
}

bool haveImageMagick() {
    return commandOutput("convert -version").find("Version: ImageMagick") != std::string::npos;
}

// --- libpng ---

struct PngFile {
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0, compression = 0, filter = 0;
    Bytes pixels;  // only for 8-bit RGB files
};

// libpng jumps back here on error; this function holds no objects with destructors.
bool decodePng(png_structp png, png_infop info, std::FILE* file, PngFile& out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_read_info(png, info);
    png_get_IHDR(png, info, &out.width, &out.height, &out.bitDepth, &out.colorType, &out.interlace,
                 &out.compression, &out.filter);
    if (out.bitDepth != 8 || out.colorType != PNG_COLOR_TYPE_RGB) return true;
    out.pixels.resize(std::size_t{3} * out.width * out.height);
    std::vector<png_bytep> rows(out.height);
    for (png_uint_32 y = 0; y < out.height; ++y) rows[y] = out.pixels.data() + 3 * out.width * y;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    return true;
}

std::optional<PngFile> readPng(const fs::path& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::nullopt;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PngFile decoded;
    const bool read = decodePng(png, info, file, decoded);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    if (!read) return std::nullopt;
    return decoded;
}

// --- libjpeg ---

struct JpegFile {
    int width = 0, height = 0, components = 0;
    bool progressive = false;
    std::vector<unsigned> luminance, chrominance;  // quantisation tables, natural order
    Bytes pixels;                                  // R,G,B
};

struct JpegReadErrors {
    jpeg_error_mgr manager;
    std::jmp_buf returnPoint;
};

[[noreturn]] void onJpegReadError(j_common_ptr decoder) {
    std::longjmp(reinterpret_cast<JpegReadErrors*>(decoder->err)->returnPoint, 1);
}

std::vector<unsigned> tableOf(const JQUANT_TBL* table) {
    if (table == nullptr) return {};
    return std::vector<unsigned>(table->quantval, table->quantval + DCTSIZE2);
}

// libjpeg jumps back here on error; this function holds no objects with destructors.
bool decodeJpeg(std::FILE* file, JpegReadErrors& errors, JpegFile& out) {
    jpeg_decompress_struct decoder{};
    decoder.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = onJpegReadError;
    if (setjmp(errors.returnPoint)) {
        jpeg_destroy_decompress(&decoder);
        return false;
    }
    jpeg_create_decompress(&decoder);
    jpeg_stdio_src(&decoder, file);
    jpeg_read_header(&decoder, TRUE);
    out.luminance = tableOf(decoder.quant_tbl_ptrs[0]);
    out.chrominance = tableOf(decoder.quant_tbl_ptrs[1]);
    out.progressive = decoder.progressive_mode;
    out.components = decoder.num_components;
    decoder.out_color_space = JCS_RGB;
    jpeg_start_decompress(&decoder);
    out.width = static_cast<int>(decoder.output_width);
    out.height = static_cast<int>(decoder.output_height);
    out.pixels.resize(std::size_t{3} * decoder.output_width * decoder.output_height);
    while (decoder.output_scanline < decoder.output_height) {
        JSAMPROW row = out.pixels.data() + 3 * decoder.output_width * decoder.output_scanline;
        jpeg_read_scanlines(&decoder, &row, 1);
    }
    jpeg_finish_decompress(&decoder);
    jpeg_destroy_decompress(&decoder);
    return true;
}

std::optional<JpegFile> readJpeg(const fs::path& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::nullopt;
    JpegReadErrors errors;
    JpegFile decoded;
    const bool read = decodeJpeg(file, errors, decoded);
    std::fclose(file);
    if (!read) return std::nullopt;
    return decoded;
}

// The luminance and chrominance tables libjpeg makes for `quality` with baseline tables
// forced: what a file encoded at that quality must carry.
std::pair<std::vector<unsigned>, std::vector<unsigned>> referenceTables(int quality) {
    jpeg_compress_struct compressor{};
    jpeg_error_mgr errors;
    compressor.err = jpeg_std_error(&errors);
    jpeg_create_compress(&compressor);
    compressor.in_color_space = JCS_RGB;
    compressor.input_components = 3;
    jpeg_set_defaults(&compressor);
    jpeg_set_quality(&compressor, quality, TRUE);
    auto tables = std::make_pair(tableOf(compressor.quant_tbl_ptrs[0]),
                                 tableOf(compressor.quant_tbl_ptrs[1]));
    jpeg_destroy_compress(&compressor);
    return tables;
}

// The start-of-frame marker of a JPEG file: 0xC0 for baseline, 0xC1 for extended
// sequential (16-bit quantisation tables), 0 when there is none.
int frameMarker(const Bytes& file) {
    std::size_t at = 2;  // after the start-of-image marker
    while (at + 4 <= file.size() && file[at] == 0xFF) {
        const int marker = file[at + 1];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
            return marker;
        }
        at += 2 + (std::size_t{file[at + 2]} << 8 | file[at + 3]);
    }
    return 0;
}

// --- libtiff ---

struct TiffFile {
    std::uint32_t width = 0, height = 0, rowsPerStrip = 0;
    std::uint16_t bitsPerSample = 0, compression = 0, photometric = 0, samplesPerPixel = 0,
                  planarConfig = 0;
    std::string description;
    std::uint32_t strips = 0;
    Bytes pixels;
};

std::optional<TiffFile> readTiff(const fs::path& path) {
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (tiff == nullptr) return std::nullopt;
    TiffFile file;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &file.width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &file.height);
    TIFFGetField(tiff, TIFFTAG_ROWSPERSTRIP, &file.rowsPerStrip);
    TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &file.bitsPerSample);
    TIFFGetField(tiff, TIFFTAG_COMPRESSION, &file.compression);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &file.photometric);
    TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &file.samplesPerPixel);
    TIFFGetField(tiff, TIFFTAG_PLANARCONFIG, &file.planarConfig);
    if (char* description = nullptr; TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &description)) {
        file.description = description;
    }
    file.strips = TIFFNumberOfStrips(tiff);
    const auto rowSize = static_cast<std::size_t>(TIFFScanlineSize(tiff));
    file.pixels.resize(rowSize * file.height);
    bool read = true;
    for (std::uint32_t y = 0; read && y < file.height; ++y) {
        read = TIFFReadScanline(tiff, file.pixels.data() + rowSize * y, y, 0) == 1;
    }
    TIFFClose(tiff);
    if (!read) return std::nullopt;
    return file;
}

// --- the writer in this process ---

const char* extensionOf(int type) {
    static const char* const kExtensions[] = {".tga", ".bmp", ".ppm", ".png", ".jpg", ".tif"};
    return kExtensions[type];
}

std::set<std::string> entriesOf(const fs::path& directory) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

class FormatsTest : public testing::Test {
  protected:
    void TearDown() override {
        abandonImage();
        iImageType = IMAGE_BMP;
        jpeg_quality = 0;
    }

    // Writes `picture` as `type` under "<name><extension>" in the scratch directory, its rows
    // from the bottom up; returns the file's path.
    fs::path write(int type, const std::string& name, Picture picture) {
        iImageType = type;
        const fs::path base = dir.path() / name;
        const Outcome outcome = captureRun([&] {
            openImage(base.c_str(), picture.width, picture.height);
            for (int y = picture.height - 1; y >= 0; --y) writeImageLine(picture.row(y), y);
            closeImage();
            return 0;
        });
        EXPECT_FALSE(outcome.exited) << outcome.output;
        return base.string() + extensionOf(type);
    }

    // The picture as the PPM writer stores it: the reference of the other formats.
    Picture asPpm(const Picture& picture) {
        return readPpm(write(IMAGE_PPM, "reference", picture));
    }

    std::set<std::string> entries() const { return entriesOf(dir.path()); }

    TempDir dir;
};

// The odd sizes tell width from height; 1 x 1 is the smallest picture there is.
constexpr struct { int width, height; } kSizes[] = {{1, 1}, {7, 5}, {5, 7}, {64, 3}};

TEST_F(FormatsTest, PngDecodesToThePpmPixelsAsEightBitRgb) {
    for (const auto& size : kSizes) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        const Picture picture = pattern(size.width, size.height);
        const std::optional<PngFile> png = readPng(write(IMAGE_PNG, "pic", picture));
        ASSERT_TRUE(png.has_value());
        EXPECT_EQ(png->width, png_uint_32(size.width));
        EXPECT_EQ(png->height, png_uint_32(size.height));
        EXPECT_EQ(png->bitDepth, 8);
        EXPECT_EQ(png->colorType, 2);  // RGB
        EXPECT_EQ(png->interlace, PNG_INTERLACE_NONE);
        EXPECT_EQ(png->compression, PNG_COMPRESSION_TYPE_DEFAULT);
        EXPECT_EQ(png->filter, PNG_FILTER_TYPE_DEFAULT);
        EXPECT_EQ(png->pixels, asPpm(picture).pixels);
    }
}

TEST_F(FormatsTest, TiffDecodesToThePpmPixelsWithOneUncompressedRowPerStrip) {
    for (const auto& size : kSizes) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        const Picture picture = pattern(size.width, size.height);
        const std::optional<TiffFile> tiff = readTiff(write(IMAGE_TIFF, "pic", picture));
        ASSERT_TRUE(tiff.has_value());
        EXPECT_EQ(tiff->width, std::uint32_t(size.width));
        EXPECT_EQ(tiff->height, std::uint32_t(size.height));
        EXPECT_EQ(tiff->bitsPerSample, 8);
        EXPECT_EQ(tiff->compression, COMPRESSION_NONE);
        EXPECT_EQ(tiff->photometric, PHOTOMETRIC_RGB);
        EXPECT_EQ(tiff->samplesPerPixel, 3);
        EXPECT_EQ(tiff->planarConfig, PLANARCONFIG_CONTIG);
        EXPECT_EQ(tiff->rowsPerStrip, 1u);
        EXPECT_EQ(tiff->strips, std::uint32_t(size.height));
        EXPECT_EQ(tiff->description, "lumora pic!");
        EXPECT_EQ(tiff->pixels, asPpm(picture).pixels);
    }
}

// libpng refuses, unless told otherwise, pictures more than a million pixels wide.
TEST_F(FormatsTest, PngIsWrittenBeyondLibpngsDefaultWidthLimit) {
    constexpr int kWidth = 1'000'001;
    const std::optional<PngFile> png = readPng(write(IMAGE_PNG, "wide", pattern(kWidth, 1)));
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(png->width, png_uint_32(kWidth));
    EXPECT_EQ(png->pixels, pattern(kWidth, 1).pixels);
}

// Chroma subsampling and quantisation lose detail, so the comparison is statistical: at the
// default quality a smooth picture comes back above 35 dB (an error of about 4 levels in 255
// on average would be 35 dB), while a transposed or channel-swapped one would fall far below.
TEST_F(FormatsTest, JpegDecodesCloseToThePpmPixels) {
    constexpr double kMinPsnr = 35;
    const struct { int width, height; } sizes[] = {{64, 48}, {48, 64}, {33, 17}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        const Picture picture = smooth(size.width, size.height);
        const std::optional<JpegFile> jpeg = readJpeg(write(IMAGE_JPEG, "pic", picture));
        ASSERT_TRUE(jpeg.has_value());
        EXPECT_EQ(jpeg->width, size.width);
        EXPECT_EQ(jpeg->height, size.height);
        EXPECT_EQ(jpeg->components, 3);
        EXPECT_FALSE(jpeg->progressive);
        ASSERT_EQ(jpeg->pixels.size(), picture.pixels.size());
        EXPECT_GT(psnr(asPpm(picture).pixels, jpeg->pixels), kMinPsnr);
    }
}

// The quality reaches the file as its quantisation tables: they must be those libjpeg makes
// for the clamped quality, and at 100 every baseline entry is 1.
TEST_F(FormatsTest, JpegQualityIsClampedStoredBackAndEncoded) {
    const struct {
        int given, used;
    } cases[] = {{0, 90}, {-5, 90}, {150, 100}, {75, 75}, {1, 1}, {100, 100}};
    for (const auto& c : cases) {
        SCOPED_TRACE("jpeg_quality " + std::to_string(c.given));
        jpeg_quality = c.given;
        const fs::path file = write(IMAGE_JPEG, "pic", smooth(16, 16));
        EXPECT_EQ(jpeg_quality, c.used);
        const std::optional<JpegFile> jpeg = readJpeg(file);
        ASSERT_TRUE(jpeg.has_value());
        const auto [luminance, chrominance] = referenceTables(c.used);
        EXPECT_EQ(jpeg->luminance, luminance);
        EXPECT_EQ(jpeg->chrominance, chrominance);
        // Baseline tables: no entry above 255, so the frame stays baseline even at quality 1.
        EXPECT_LE(*std::max_element(jpeg->luminance.begin(), jpeg->luminance.end()), 255u);
        EXPECT_EQ(frameMarker(readFile(file)), 0xC0);
        if (c.used == 100) {
            EXPECT_EQ(jpeg->luminance, std::vector<unsigned>(DCTSIZE2, 1));
        }
    }
    // Neighbouring qualities give different tables: the comparison above can tell them apart.
    EXPECT_NE(referenceTables(90).first, referenceTables(89).first);
}

TEST_F(FormatsTest, JpegSidesAreLimitedTo65500) {
    const std::optional<JpegFile> widest = readJpeg(write(IMAGE_JPEG, "wide", smooth(65500, 2)));
    ASSERT_TRUE(widest.has_value());
    EXPECT_EQ(widest->width, 65500);

    const struct { int width, height; } tooLarge[] = {{65501, 2}, {2, 65501}};
    for (const auto& c : tooLarge) {
        iImageType = IMAGE_JPEG;
        const Outcome outcome =
            captureRun([&] { return openImage((dir.path() / "big").c_str(), c.width, c.height); });
        EXPECT_TRUE(outcome.exited);
        EXPECT_EQ(outcome.status, kErrorStatus);
        EXPECT_EQ(outcome.output, "\n A JPEG picture is at most 65500 x 65500 pixels, not " +
                                      std::to_string(c.width) + " x " + std::to_string(c.height) +
                                      "\n");
    }
    EXPECT_EQ(entries(), std::set<std::string>{"wide.jpg"});
}

// The temporary-file discipline holds for the library-backed formats too, TIFF included,
// which libtiff writes through its own descriptor. The line writers copy R,G,B lines as they
// are, without reordering the caller's line as the B,G,R formats do.
TEST_F(FormatsTest, ExistingPictureSurvivesAnAbandonedRenderAndYieldsToAFinishedOne) {
    const std::string content = "previous picture";
    for (int type : {IMAGE_PNG, IMAGE_JPEG, IMAGE_TIFF}) {
        SCOPED_TRACE(extensionOf(type));
        const std::string name = std::string("pic") + extensionOf(type);
        const std::string previous = dir.write(name, content);
        iImageType = type;
        const Bytes line{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        Bytes given = line;
        captureRun([&] {
            openImage((dir.path() / "pic").c_str(), 4, 4);
            return writeImageLine(given.data(), 0);
        });
        EXPECT_EQ(given, line);
        EXPECT_EQ(entries().size(), 2u);  // the picture in progress lives beside the target
        abandonImage();
        EXPECT_EQ(readFile(previous), Bytes(content.begin(), content.end()));
        EXPECT_EQ(entries(), std::set<std::string>{name});

        write(type, "pic", pattern(4, 4));
        EXPECT_NE(readFile(previous), Bytes(content.begin(), content.end()));
        EXPECT_EQ(entries(), std::set<std::string>{name});
        fs::remove(previous);
    }
}

TEST_F(FormatsTest, ImageMagickReadsWhatTheLibrariesWrote) {
    if (!haveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    const auto decode = [](const fs::path& file) {
        const std::string rgb = commandOutput("convert '" + file.string() + "' -depth 8 rgb:-");
        return Bytes(rgb.begin(), rgb.end());
    };

    const Picture lossless = pattern(7, 5);
    const Bytes reference = asPpm(lossless).pixels;
    EXPECT_EQ(decode(write(IMAGE_PNG, "pic", lossless)), reference);
    EXPECT_EQ(decode(write(IMAGE_TIFF, "pic", lossless)), reference);

    const Picture gradients = smooth(64, 48);
    const fs::path jpeg = write(IMAGE_JPEG, "pic", gradients);
    const Bytes decoded = decode(jpeg);
    ASSERT_EQ(decoded.size(), gradients.pixels.size());
    EXPECT_GT(psnr(asPpm(gradients).pixels, decoded), 35);
    // ImageMagick estimates the quality from the tables: an unset one is 90.
    EXPECT_EQ(commandOutput("identify -format %Q '" + jpeg.string() + "'"), "90");
    EXPECT_EQ(commandOutput("identify -format '%wx%h %[tiff:rows-per-strip] %[compression]' '" +
                            (dir.path() / "pic.tif").string() + "'"),
              "7x5 1 None");
}

// --- the built program ---

const char* const kFormatOptions[] = {"-png", "-jpg", "-tif"};
const char* const kFormatExtensions[] = {".png", ".jpg", ".tif"};

std::string sphereScene() {
    return minimalScene("sphere { center <0 0 0> radius 1 }\n");
}

TEST(FormatsProgramTest, UnusableTargetEndsTheRunBeforeRendering) {
    const TempDir dir;
    dir.write("scene.lms", sphereScene());
    dir.write("plain", "a regular file");
    const struct {
        const char* name;
        const char* reason;
    } targets[] = {{"missing/pic", "No such file or directory"}, {"plain/pic", "Not a directory"}};
    for (std::size_t format = 0; format < std::size(kFormatOptions); ++format) {
        for (const auto& target : targets) {
            SCOPED_TRACE(std::string(kFormatOptions[format]) + " " + target.name);
            const ProgramRun run = runProgram(
                LUMORA_BIN, {"-i", "scene.lms", kFormatOptions[format], "-o", target.name},
                dir.path());
            EXPECT_EQ(run.exitStatus, 255);
            EXPECT_TRUE(run.output.ends_with(std::string("\n Cannot create output file: ") +
                                             target.name + kFormatExtensions[format] + " (" +
                                             target.reason + ")\n"))
                << run.output;
            EXPECT_EQ(run.output.find("Rendering to"), std::string::npos) << run.output;
        }
    }
    EXPECT_EQ(entriesOf(dir.path()), (std::set<std::string>{"plain", "scene.lms"}));
}

// A file-size limit of 1 KiB makes the encoders' writes fail as a full disk would. With SIGXFSZ
// ignored the write fails with EFBIG rather than killing the program. At 800 x 600 even the
// well-compressed PNG is larger than a stdio buffer, so the failure reaches libpng itself (and
// libjpeg, and libtiff) rather than only the final flush. The encoder's error must end the run with
// status 255 and one message of ours (no library's own on standard error), remove the temporary
// file and leave the previous picture as it was.
TEST(FormatsProgramTest, EncodeFailureKeepsThePreviousPictureAndLeavesNoTemporary) {
    const TempDir dir;
    dir.write("scene.lms", sphereScene());
    const std::string content = "previous picture";
    for (std::size_t format = 0; format < std::size(kFormatOptions); ++format) {
        SCOPED_TRACE(kFormatOptions[format]);
        const std::string target = std::string("pic") + kFormatExtensions[format];
        const std::string previous = dir.write(target, content);
        const ProgramRun run =
            runProgram("/bin/bash",
                       {"-c", "trap '' XFSZ; ulimit -f 1; exec \"$0\" \"$@\"", LUMORA_BIN, "-i",
                        "scene.lms", kFormatOptions[format], "-o", "pic", "-r", "800", "600"},
                       dir.path());
        EXPECT_EQ(run.exitStatus, 255);
        EXPECT_TRUE(run.output.ends_with(" second(s)\n\n Cannot write output file: " + target +
                                         " (File too large)\n"))
            << run.output;
        // The libraries' own reports ("libpng error: Write Error", "Write error at scanline",
        // "Output file write error") would say "error" on standard error.
        EXPECT_EQ(run.output.find("rror"), std::string::npos) << run.output;
        EXPECT_EQ(readFile(previous), Bytes(content.begin(), content.end()));
        EXPECT_EQ(entriesOf(dir.path()), (std::set<std::string>{"scene.lms", target}));
        fs::remove(previous);
    }
}

// The same scene rendered by the program: PNG and TIFF hold exactly the PPM's pixels.
TEST(FormatsProgramTest, RenderedSceneIsTheSameInEveryLosslessFormat) {
    const TempDir dir;
    dir.write("scene.lms", sphereScene());
    const auto render = [&](const char* option) {
        const ProgramRun run = runProgram(
            LUMORA_BIN, {"-i", "scene.lms", option, "-o", "pic", "-r", "40", "30"}, dir.path());
        EXPECT_EQ(run.exitStatus, 0) << run.output;
    };
    render("-ppm");
    const Picture reference = readPpm(dir.path() / "pic.ppm");
    ASSERT_EQ(reference.pixels.size(), 40u * 30 * 3);
    // Not a blank picture: the sphere and the background both show.
    EXPECT_GT(std::set<unsigned char>(reference.pixels.begin(), reference.pixels.end()).size(), 2u);

    render("-png");
    const std::optional<PngFile> png = readPng(dir.path() / "pic.png");
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(png->pixels, reference.pixels);

    render("-tif");
    const std::optional<TiffFile> tiff = readTiff(dir.path() / "pic.tif");
    ASSERT_TRUE(tiff.has_value());
    EXPECT_EQ(tiff->pixels, reference.pixels);
}

}  // namespace
