#include "app/core/H5File.h"

#include <hdf5.h>

#include <cstdint>
#include <exception>
#include <utility>
#include <vector>

namespace App
{

namespace
{
// One HDF5 identifier, closed by its own function.
class Id
{
public:
    using Closer = herr_t (*)(hid_t);
    Id(hid_t id, Closer close) : m_Id(id), m_Close(close) {}
    Id(const Id&) = delete;
    Id& operator=(const Id&) = delete;
    ~Id()
    {
        if (m_Id >= 0)
            m_Close(m_Id);
    }
    operator hid_t() const { return m_Id; }
    bool Valid() const { return m_Id >= 0; }
    // Closes now, with its result: a file's close is where its data reach the disk.
    bool Close()
    {
        const herr_t result = m_Id >= 0 ? m_Close(m_Id) : -1;
        m_Id = -1;
        return result >= 0;
    }

private:
    hid_t m_Id;
    Closer m_Close;
};

// The library's own error printing is off: every failure is reported by its caller.
void Quiet()
{
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
}

// A variable-length UTF-8 string: h5py reads it as str (a fixed-length one as bytes).
bool PutText(hid_t object, const char* name, const std::string& text)
{
    Id type(H5Tcopy(H5T_C_S1), H5Tclose);
    if (!type.Valid() || H5Tset_size(type, H5T_VARIABLE) < 0 ||
        H5Tset_cset(type, H5T_CSET_UTF8) < 0)
        return false;
    Id space(H5Screate(H5S_SCALAR), H5Sclose);
    Id attribute(H5Acreate2(object, name, type, space, H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    const char* value = text.c_str();
    return attribute.Valid() && H5Awrite(attribute, type, &value) >= 0;
}

template <typename T>
bool PutNumber(hid_t object, const char* name, hid_t fileType, hid_t memType, T value)
{
    Id space(H5Screate(H5S_SCALAR), H5Sclose);
    Id attribute(H5Acreate2(object, name, fileType, space, H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    return attribute.Valid() && H5Awrite(attribute, memType, &value) >= 0;
}

// An attribute that is absent leaves the value as it is. Variable-length strings are written
// now; fixed-length ones by earlier versions.
bool GetText(hid_t object, const char* name, std::string& text, std::string& error)
{
    if (H5Aexists(object, name) <= 0)
        return true;
    Id attribute(H5Aopen(object, name, H5P_DEFAULT), H5Aclose);
    Id type(H5Aget_type(attribute), H5Tclose);
    Id space(H5Aget_space(attribute), H5Sclose);
    if (!type.Valid() || H5Tget_class(type) != H5T_STRING ||
        H5Sget_simple_extent_npoints(space) != 1)
    {
        error = std::string("the attribute '") + name + "' is not a string";
        return false;
    }
    if (H5Tis_variable_str(type) > 0)
    {
        Id memory(H5Tcopy(H5T_C_S1), H5Tclose);
        char* value = nullptr;
        if (!memory.Valid() || H5Tset_size(memory, H5T_VARIABLE) < 0 ||
            H5Tset_cset(memory, H5Tget_cset(type)) < 0 || H5Aread(attribute, memory, &value) < 0)
        {
            error = std::string("the attribute '") + name + "' cannot be read";
            return false;
        }
        text = value ? value : "";
        H5free_memory(value);
        return true;
    }
    const std::size_t size = H5Tget_size(type);
    std::string value(size, '\0');
    if (size == 0 || H5Aread(attribute, type, value.data()) < 0)
    {
        error = std::string("the attribute '") + name + "' cannot be read";
        return false;
    }
    value.resize(value.find('\0') == std::string::npos ? size : value.find('\0'));
    text = value;
    return true;
}

template <typename T>
bool GetNumber(hid_t object, const char* name, hid_t memType, T& number, std::string& error)
{
    if (H5Aexists(object, name) <= 0)
        return true;
    Id attribute(H5Aopen(object, name, H5P_DEFAULT), H5Aclose);
    Id type(H5Aget_type(attribute), H5Tclose);
    Id space(H5Aget_space(attribute), H5Sclose);
    if (!type.Valid() || H5Tget_class(type) != H5T_INTEGER || H5Tget_sign(type) != H5T_SGN_NONE ||
        H5Tget_size(type) > sizeof(T) || H5Sget_simple_extent_npoints(space) != 1)
    {
        error = std::string("the attribute '") + name + "' is not an unsigned integer of at most " +
                std::to_string(8 * sizeof(T)) + " bits";
        return false;
    }
    T value{};
    if (H5Aread(attribute, memType, &value) < 0)
    {
        error = std::string("the attribute '") + name + "' cannot be read";
        return false;
    }
    number = value;
    return true;
}

// Builds the file in memory (HDF5's core driver, no backing store) and hands on its image.
// The disk is written by BatchFile, as every save is: HDF5 itself never meets a full disk,
// after which it keeps a file half closed and crashes when it shuts down at exit.
bool MakeImage(std::span<const unsigned> readings, const RunSettings& s, bool gray,
               std::vector<unsigned char>& image)
{
    Id access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
    if (!access.Valid() || H5Pset_fapl_core(access, std::size_t(1) << 20, 0) < 0)
        return false;
    Id file(H5Fcreate("tavik-run.h5", H5F_ACC_TRUNC, H5P_DEFAULT, access), H5Fclose);
    if (!file.Valid())
        return false;
    const hsize_t dims[1] = {readings.size()};
    Id space(H5Screate_simple(1, dims, nullptr), H5Sclose);
    Id data(H5Dcreate2(file, H5File::kDataset, H5T_STD_U32LE, space, H5P_DEFAULT, H5P_DEFAULT,
                       H5P_DEFAULT),
            H5Dclose);
    if (!data.Valid())
        return false;
    if (!readings.empty() &&
        H5Dwrite(data, H5T_NATIVE_UINT, H5S_ALL, H5S_ALL, H5P_DEFAULT, readings.data()) < 0)
        return false;
    const auto u32 = [&](const char* name, unsigned value)
    { return PutNumber(data, name, H5T_STD_U32LE, H5T_NATIVE_UINT, value); };
    const bool attributes =
        PutText(data, "unit", H5File::kUnit) && PutText(data, "serial", s.serial) &&
        PutText(data, "description", s.description) && PutText(data, "mode", s.mode) &&
        u32("clock_hz", s.clockHz) && u32("st_bits", s.stBits) && u32("mt_bits", s.mtBits) &&
        u32("data_mask", s.dataMask) && u32("gray_mask", s.grayMask) &&
        u32("spi_word", s.spiWord) && u32("delay_us", s.delayUs) &&
        PutNumber(data, "sample_count", H5T_STD_U64LE, H5T_NATIVE_UINT64,
                  std::uint64_t(s.sampleCount)) &&
        PutText(data, "start", s.start) && PutText(data, "program", s.program) &&
        PutNumber(data, "gray", H5T_STD_U8LE, H5T_NATIVE_UINT8, std::uint8_t(gray));
    if (!attributes || !data.Close() || H5Fflush(file, H5F_SCOPE_GLOBAL) < 0)
        return false;
    const ssize_t size = H5Fget_file_image(file, nullptr, 0);
    if (size <= 0)
        return false;
    try
    {
        image.resize(std::size_t(size));
    }
    catch (const std::exception&)
    {
        return false;
    }
    return H5Fget_file_image(file, image.data(), std::size_t(size)) == size && file.Close();
}
} // namespace

BatchFile::Error H5File::Write(const std::string& path, std::span<const unsigned> readings,
                               const RunSettings& settings, bool gray)
{
    // Before the image is built: a folder or a write-protected file cannot take it.
    if (const BatchFile::Error error = BatchFile::CheckTarget(path);
        error != BatchFile::BATCH_FILE_OK)
        return error;
    Quiet();
    std::vector<unsigned char> image;
    if (!MakeImage(readings, settings, gray, image))
        return BatchFile::BATCH_FILE_WRITE;
    return BatchFile::WriteBytes(path, image);
}

bool H5File::Read(const std::string& path, Contents& contents, std::string& error)
{
    Quiet();
    const auto fail = [&](const std::string& what)
    {
        error = path + ": " + what;
        return false;
    };
    if (H5Fis_hdf5(path.c_str()) <= 0)
        return fail("not an HDF5 file");
    Id file(H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT), H5Fclose);
    if (!file.Valid())
        return fail("cannot open the file");
    if (H5Lexists(file, kDataset, H5P_DEFAULT) <= 0)
        return fail(std::string("no dataset '") + kDataset + "'");
    Id data(H5Dopen2(file, kDataset, H5P_DEFAULT), H5Dclose);
    Id type(H5Dget_type(data), H5Tclose);
    Id space(H5Dget_space(data), H5Sclose);
    if (!data.Valid() || !type.Valid() || H5Tget_class(type) != H5T_INTEGER ||
        H5Tget_size(type) != 4 || H5Tget_sign(type) != H5T_SGN_NONE)
        return fail(std::string("the dataset '") + kDataset + "' is not uint32");
    if (H5Sget_simple_extent_ndims(space) != 1)
        return fail(std::string("the dataset '") + kDataset + "' is not one-dimensional");
    hsize_t dims[1] = {0};
    H5Sget_simple_extent_dims(space, dims, nullptr);
    Contents parsed;
    try
    {
        parsed.readings.resize(std::size_t(dims[0]));
    }
    catch (const std::exception&)
    {
        return fail("the dataset is too large");
    }
    if (dims[0] > 0 &&
        H5Dread(data, H5T_NATIVE_UINT, H5S_ALL, H5S_ALL, H5P_DEFAULT, parsed.readings.data()) < 0)
        return fail(std::string("the dataset '") + kDataset + "' cannot be read");
    RunSettings& s = parsed.settings;
    std::uint64_t count = 0;
    std::uint8_t gray = 0;
    std::string what;
    const auto u32 = [&](const char* name, unsigned& value)
    { return GetNumber(data, name, H5T_NATIVE_UINT, value, what); };
    if (!(GetText(data, "serial", s.serial, what) &&
          GetText(data, "description", s.description, what) &&
          GetText(data, "mode", s.mode, what) && u32("clock_hz", s.clockHz) &&
          u32("st_bits", s.stBits) && u32("mt_bits", s.mtBits) && u32("data_mask", s.dataMask) &&
          u32("gray_mask", s.grayMask) && u32("spi_word", s.spiWord) &&
          u32("delay_us", s.delayUs) &&
          GetNumber(data, "sample_count", H5T_NATIVE_UINT64, count, what) &&
          GetText(data, "start", s.start, what) && GetText(data, "program", s.program, what) &&
          GetNumber(data, "gray", H5T_NATIVE_UINT8, gray, what)))
        return fail(what);
    s.sampleCount = std::size_t(count);
    parsed.gray = gray != 0;
    contents = std::move(parsed);
    return true;
}

} // namespace App
