// Reads the built program's file back and checks the identity it carries: version block, icon,
// manifest, and the kind of image Windows will load.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "pe_image.h"
#include "build_locations.h"
#include "text.h"
#include "win32_owners.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The image to check: QUILLMARK_IMAGE (a Unix path) when set, so that one build can check another
// build's file without running it; otherwise the program this build made.
std::string ImageUnixPath() {
  const char* chosen = std::getenv("QUILLMARK_IMAGE");
  return chosen != nullptr && *chosen != '\0' ? chosen
                                              : quillmark::test_support::build::kLookupToolUnixPath;
}

// The tests run under Wine, which shows the unix root as drive Z:.
std::wstring ProgramPath() { return quillmark::test_support::WinePathFromUnix(ImageUnixPath()); }

// The architecture the image is built for: QUILLMARK_IMAGE_ARCH ("x86" or "x64") when set,
// otherwise this test program's own.
bool ImageIs64Bit() {
  const char* chosen = std::getenv("QUILLMARK_IMAGE_ARCH");
  if (chosen != nullptr && *chosen != '\0') return std::string(chosen) == "x64";
  return sizeof(void*) == 8;
}

bool ImageIsForeign() { return ImageIs64Bit() != (sizeof(void*) == 8); }

// What each of the two programs must say of itself.
struct Identity {
  const wchar_t* internal_name;
  const wchar_t* original_file_name;
  const wchar_t* description;
  WORD subsystem;
  std::vector<const char*> manifest_needles;
  std::size_t architecture_mentions;  // the program's own identity and each dependency's
};

// The window program unless QUILLMARK_IMAGE_KIND is "companion".
const Identity& ExpectedIdentity() {
  static const Identity window{L"Ambrel Quillmark Lookup Tool",
                               L"Ambrel Quillmark Lookup Tool.exe",
                               L"Ambrel Quillmark Lookup Tool",
                               IMAGE_SUBSYSTEM_WINDOWS_GUI,
                               {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                                "<requestedExecutionLevel level=\"asInvoker\"",
                                "uiAccess=\"false\"", ">true</dpiAware>", ">system</dpiAwareness>"},
                               2};
  static const Identity companion{
      L"quillmark",
      L"quillmark.exe",
      L"Ambrel Quillmark Lookup Tool command-line companion",
      IMAGE_SUBSYSTEM_WINDOWS_CUI,
      {"<requestedExecutionLevel level=\"asInvoker\"", "uiAccess=\"false\""},
      1};
  const char* kind = std::getenv("QUILLMARK_IMAGE_KIND");
  return kind != nullptr && std::string(kind) == "companion" ? companion : window;
}

template <class T>
T ReadAt(const Bytes& bytes, std::size_t offset) {
  static_assert(std::is_trivially_copyable_v<T>);
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) {
    throw std::out_of_range("read past the end of the data");
  }
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

// ---- Version block ----

class VersionBlock {
 public:
  explicit VersionBlock(const std::wstring& file) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    data_.resize(size);
    if (size == 0 || !GetFileVersionInfoW(file.c_str(), 0, size, data_.data())) {
      throw std::runtime_error("the program has no version block");
    }
  }

  VS_FIXEDFILEINFO Fixed() const { return ReadAt<VS_FIXEDFILEINFO>(Query(L"\\"), 0); }

  std::vector<WORD> Translations() const {
    const Bytes value = Query(L"\\VarFileInfo\\Translation");
    std::vector<WORD> words(value.size() / sizeof(WORD));
    std::memcpy(words.data(), value.data(), words.size() * sizeof(WORD));
    return words;
  }

  std::wstring Text(const std::wstring& name) const {
    void* value = nullptr;
    UINT length = 0;  // in characters for text values
    if (!VerQueryValueW(data_.data(), (L"\\StringFileInfo\\040904B0\\" + name).c_str(), &value,
                        &length)) {
      return L"<missing>";
    }
    const auto* text = static_cast<const wchar_t*>(value);
    return std::wstring(text, wcsnlen(text, length));
  }

 private:
  Bytes Query(const std::wstring& path) const {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data_.data(), path.c_str(), &value, &length)) return {};
    const auto* first = static_cast<const std::uint8_t*>(value);
    return Bytes(first, first + length);
  }

  Bytes data_;
};

TEST(VersionBlock, StatesVersionOneInItsFixedPart) {
  const VS_FIXEDFILEINFO fixed = VersionBlock(ProgramPath()).Fixed();
  EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed.dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed.dwFileVersionLS, 0u);
  EXPECT_EQ(fixed.dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed.dwProductVersionLS, 0u);
  EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
}

TEST(VersionBlock, IsUsEnglishInUnicode) {
  EXPECT_EQ(VersionBlock(ProgramPath()).Translations(), (std::vector<WORD>{0x0409, 1200}));
}

TEST(VersionBlock, NamesTheProgramAndItsMaker) {
  const VersionBlock block(ProgramPath());
  EXPECT_EQ(block.Text(L"FileVersion"), L"1.00");
  EXPECT_EQ(block.Text(L"ProductVersion"), L"1.00");
  EXPECT_EQ(block.Text(L"ProductName"), L"Quillmark");
  EXPECT_EQ(block.Text(L"InternalName"), ExpectedIdentity().internal_name);
  EXPECT_EQ(block.Text(L"OriginalFilename"), ExpectedIdentity().original_file_name);
  EXPECT_EQ(block.Text(L"FileDescription"), ExpectedIdentity().description);
  EXPECT_EQ(block.Text(L"CompanyName"), L"Ambrel");
}

// ---- Resources ----

using quillmark::UniqueModule;

// The program's resources, without running any of its code.
UniqueModule OpenResources() {
  UniqueModule module(LoadLibraryExW(ProgramPath().c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module) throw std::runtime_error("the program cannot be opened for its resources");
  return module;
}

// Empty when the resource is missing.
Bytes Resource(HMODULE module, WORD id, const wchar_t* type) {
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return {};
  const auto* first = static_cast<const std::uint8_t*>(data);
  return Bytes(first, first + SizeofResource(module, found));
}

// One GRPICONDIRENTRY, which packs to 14 bytes after a 6-byte GRPICONDIR.
struct IconEntry {
  int width, height, colours, planes, bits;
  std::uint32_t bytes;
  WORD id;
};

std::vector<IconEntry> IconGroup(const Bytes& group) {
  constexpr std::size_t kHeader = 6, kEntry = 14;
  if (ReadAt<WORD>(group, 0) != 0 || ReadAt<WORD>(group, 2) != 1) {
    throw std::runtime_error("not an icon group");
  }
  std::vector<IconEntry> entries;
  for (std::size_t at = kHeader; entries.size() < ReadAt<WORD>(group, 4); at += kEntry) {
    entries.push_back({ReadAt<BYTE>(group, at), ReadAt<BYTE>(group, at + 1),
                       ReadAt<BYTE>(group, at + 2), ReadAt<WORD>(group, at + 4),
                       ReadAt<WORD>(group, at + 6), ReadAt<DWORD>(group, at + 8),
                       ReadAt<WORD>(group, at + 12)});
  }
  return entries;
}

struct ExpectedImage {
  WORD id;
  int size, colours, bits;
};
constexpr std::array<ExpectedImage, 3> kImages{
    {{30001, 32, 2, 1}, {30002, 32, 16, 4}, {30003, 16, 16, 4}}};

TEST(ProgramIcon, GroupOneListsThreeImagesBySizeAndColours) {
  const UniqueModule module = OpenResources();
  const std::vector<IconEntry> entries = IconGroup(Resource(module.get(), 1, RT_GROUP_ICON));
  ASSERT_EQ(entries.size(), kImages.size());
  for (std::size_t i = 0; i < kImages.size(); ++i) {
    SCOPED_TRACE(kImages[i].id);
    EXPECT_EQ(entries[i].id, kImages[i].id);
    EXPECT_EQ(entries[i].width, kImages[i].size);
    EXPECT_EQ(entries[i].height, kImages[i].size);
    EXPECT_EQ(entries[i].colours, kImages[i].colours);
    EXPECT_EQ(entries[i].planes, 1);
    EXPECT_EQ(entries[i].bits, kImages[i].bits);
  }
}

using quillmark::UniqueIcon;

TEST(ProgramIcon, EachImageIsTheOneItsGroupEntryDescribesAndLoads) {
  const UniqueModule module = OpenResources();
  for (const IconEntry& entry : IconGroup(Resource(module.get(), 1, RT_GROUP_ICON))) {
    SCOPED_TRACE(entry.id);
    Bytes image = Resource(module.get(), entry.id, RT_ICON);
    ASSERT_EQ(image.size(), entry.bytes);
    const auto header = ReadAt<BITMAPINFOHEADER>(image, 0);
    EXPECT_EQ(header.biWidth, entry.width);
    EXPECT_EQ(header.biHeight, 2 * entry.height);  // colour bitmap and mask stacked
    EXPECT_EQ(header.biBitCount, entry.bits);
    const UniqueIcon icon(CreateIconFromResourceEx(image.data(), static_cast<DWORD>(image.size()),
                                                   TRUE, 0x00030000, entry.width, entry.height,
                                                   LR_DEFAULTCOLOR));
    EXPECT_TRUE(icon) << "Windows does not accept the image";
  }
}

// ---- Manifest ----

TEST(Manifest, AsksForWhatTheProgramNeedsAndNoElevation) {
  const UniqueModule module = OpenResources();
  const Bytes bytes = Resource(module.get(), 1, RT_MANIFEST);
  const std::string text(bytes.begin(), bytes.end());
  for (const char* needle : ExpectedIdentity().manifest_needles) {
    EXPECT_NE(text.find(needle), std::string::npos) << "missing: " << needle;
  }
}

TEST(Manifest, NamesTheImagesOwnArchitectureForItselfAndItsControls) {
  const UniqueModule module = OpenResources();
  const Bytes bytes = Resource(module.get(), 1, RT_MANIFEST);
  const std::string text(bytes.begin(), bytes.end());
  const std::string own =
      ImageIs64Bit() ? "processorArchitecture=\"amd64\"" : "processorArchitecture=\"x86\"";
  std::size_t count = 0;
  for (std::size_t at = text.find(own); at != std::string::npos; at = text.find(own, at + 1)) {
    ++count;
  }
  EXPECT_EQ(count, ExpectedIdentity().architecture_mentions)
      << "the program's identity and each assembly it depends on";
  EXPECT_EQ(text.find(ImageIs64Bit() ? "\"x86\"" : "\"amd64\""), std::string::npos);
}

TEST(Manifest, ActivatesWithTheAssembliesItNames) {
  // A process can only activate the assemblies of its own architecture.
  if (ImageIsForeign()) GTEST_SKIP() << "the image is for another architecture than this test";
  const std::wstring path = ProgramPath();
  ACTCTXW request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = path.c_str();
  request.lpResourceName = MAKEINTRESOURCEW(1);
  HANDLE context = CreateActCtxW(&request);
  EXPECT_NE(context, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  if (context != INVALID_HANDLE_VALUE) ReleaseActCtx(context);
}

// ---- Image headers, read from the file itself ----

using quillmark::test_support::PeImage;

TEST(ProgramImage, IsForItsSubsystemAndArchitectureWithRandomisedBaseAndNoExecuteData) {
  const PeImage image = PeImage::FromFile(ProgramPath());
  const IMAGE_FILE_HEADER file = image.file_header();
  EXPECT_EQ(file.Machine, ImageIs64Bit() ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(image.Is64Bit(), ImageIs64Bit());
  EXPECT_EQ(image.Subsystem(), ExpectedIdentity().subsystem);
  EXPECT_TRUE(image.DllCharacteristics() & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
  EXPECT_TRUE(image.DllCharacteristics() & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
  // A movable base needs the relocations to move it with.
  EXPECT_FALSE(file.Characteristics & IMAGE_FILE_RELOCS_STRIPPED);
  EXPECT_NE(image.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).Size, 0u);
}

TEST(ProgramImage, ImportsOnlyLibrariesThatShipWithWindows) {
  const std::set<std::string> windows_own{
      "kernel32.dll", "user32.dll",   "gdi32.dll",   "ole32.dll",   "oleaut32.dll",
      "comctl32.dll", "advapi32.dll", "msvcrt.dll",  "shell32.dll", "version.dll",
      "ws2_32.dll",   "iphlpapi.dll", "activeds.dll"};
  std::set<std::string> imported;
  for (std::string name : PeImage::FromFile(ProgramPath()).ImportedDlls()) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    imported.insert(name);
  }
  EXPECT_EQ(imported.count("kernel32.dll"), 1u);
  for (const std::string& name : imported) {
    EXPECT_EQ(windows_own.count(name), 1u) << name << " does not come with Windows";
  }
}

}  // namespace
