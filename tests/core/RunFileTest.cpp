// The files other tools read: the CSV column line, the HDF5 attributes, and the files that
// earlier versions wrote.
#include "app/core/RunFile.h"
#include "app/core/CsvFile.h"
#include "app/core/H5File.h"

#include <gtest/gtest.h>

#include <hdf5.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace App;
namespace fs = std::filesystem;

namespace
{

class RunFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_Folder = fs::absolute("RunFileTest-" + std::to_string(::getpid()));
        fs::create_directories(m_Folder);
        m_Settings.serial = "SIM00001";
        m_Settings.mode = "SSI_Gray";
        m_Settings.delayUs = 50;
        m_Settings.start = "2026-12-09T05:04:03+01:00";
    }
    void TearDown() override { fs::remove_all(m_Folder); }

    std::string PathOf(const char* name) const { return (m_Folder / name).string(); }

    fs::path m_Folder;
    RunSettings m_Settings;
    const std::vector<unsigned> m_Readings = {7, 8, 9};
};

TEST_F(RunFileTest, CsvHasAColumnLineAndReadsTheOldHeaderToo)
{
    const std::string path = PathOf("run.csv");
    for (const bool gray : {false, true})
    {
        ASSERT_EQ(WriteRunFile(path, m_Readings, m_Settings, gray), BatchFile::BATCH_FILE_OK);
        std::ifstream in(path);
        std::string line;
        while (std::getline(in, line) && line.starts_with("#"))
            ;
        EXPECT_EQ(line, gray ? "time_us,reading_gray" : "time_us,reading");
        RunFileContents contents;
        std::string error;
        ASSERT_TRUE(ReadRunFile(path, contents, error)) << error;
        EXPECT_EQ(contents.readings, m_Readings);
        EXPECT_EQ(contents.gray, gray);
    }
    CsvFile::Contents old;
    std::string error;
    ASSERT_TRUE(CsvFile::Parse("# Delay [us]: 50\nTime [us]; Measurement [gray]\n0,7\n50,8\n",
                               "old.csv", old, error))
        << error;
    EXPECT_TRUE(old.data.gray);
    EXPECT_EQ(old.data.readings, (std::vector<unsigned>{7, 8}));
}

// h5py gives variable-length strings as str and fixed-length ones as bytes.
TEST_F(RunFileTest, Hdf5TextsAreVariableLengthUtf8WithUnitAndStart)
{
    const std::string path = PathOf("run.h5");
    ASSERT_EQ(WriteRunFile(path, m_Readings, m_Settings, false), BatchFile::BATCH_FILE_OK);
    const hid_t file = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
    ASSERT_GE(file, 0);
    const hid_t data = H5Dopen2(file, H5File::kDataset, H5P_DEFAULT);
    for (const char* name : {"unit", "serial", "description", "mode", "start", "program"})
    {
        const hid_t attribute = H5Aopen(data, name, H5P_DEFAULT);
        ASSERT_GE(attribute, 0) << name;
        const hid_t type = H5Aget_type(attribute);
        EXPECT_GT(H5Tis_variable_str(type), 0) << name;
        EXPECT_EQ(H5Tget_cset(type), H5T_CSET_UTF8) << name;
        H5Tclose(type);
        H5Aclose(attribute);
    }
    H5Dclose(data);
    H5Fclose(file);

    H5File::Contents contents;
    std::string error;
    ASSERT_TRUE(H5File::Read(path, contents, error)) << error;
    EXPECT_EQ(contents.settings, m_Settings);
}

// As earlier versions wrote it: the texts as fixed-length, null-terminated strings.
TEST_F(RunFileTest, Hdf5WithFixedLengthStringsStillReads)
{
    const std::string path = PathOf("old.h5");
    const hid_t file = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT);
    const hsize_t dims[1] = {m_Readings.size()};
    const hid_t space = H5Screate_simple(1, dims, nullptr);
    const hid_t data = H5Dcreate2(file, H5File::kDataset, H5T_STD_U32LE, space, H5P_DEFAULT,
                                  H5P_DEFAULT, H5P_DEFAULT);
    ASSERT_GE(H5Dwrite(data, H5T_NATIVE_UINT, H5S_ALL, H5S_ALL, H5P_DEFAULT, m_Readings.data()), 0);
    const std::string serial = "SIM00042";
    const hid_t type = H5Tcopy(H5T_C_S1);
    H5Tset_size(type, serial.size());
    H5Tset_strpad(type, H5T_STR_NULLTERM);
    const hid_t scalar = H5Screate(H5S_SCALAR);
    const hid_t attribute = H5Acreate2(data, "serial", type, scalar, H5P_DEFAULT, H5P_DEFAULT);
    ASSERT_GE(H5Awrite(attribute, type, serial.c_str()), 0);
    H5Aclose(attribute);
    H5Sclose(scalar);
    H5Tclose(type);
    H5Dclose(data);
    H5Sclose(space);
    H5Fclose(file);

    H5File::Contents contents;
    std::string error;
    ASSERT_TRUE(H5File::Read(path, contents, error)) << error;
    EXPECT_EQ(contents.readings, m_Readings);
    EXPECT_EQ(contents.settings.serial, serial);
}

} // namespace
