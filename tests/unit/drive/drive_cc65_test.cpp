// cc65's opendir and readdir, in a C program compiled for the C64, list the
// volume's directory and a .D64 image's. The C library keeps its stack
// pointer at $0002, where the patched KERNAL hands drive 8 its requests.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/unit/drive/drive_on_volume.h"

namespace {

class Cc65Directory : public DriveOnVolume {
protected:
    std::vector<u8> Program(const std::string& name) {
        std::ifstream f(std::string(DRIVE_PROGRAMS) + "/" + name + ".prg", std::ios::binary);
        EXPECT_TRUE(f.good()) << name;
        return std::vector<u8>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    }
    // Loads and runs the lister; the lines it printed, up to "END".
    std::vector<std::string> List() {
        EXPECT_TRUE(Command("PRINT CHR$(147)"));
        EXPECT_TRUE(Command("LOAD \"DIRLIST\",8"));
        EXPECT_TRUE(Command("RUN", 3000));
        std::vector<std::string> lines;
        for (int r = 0; r < 25; r++) {
            std::string row = hm.row(r);
            if (row.rfind("<", 0) == 0) lines.push_back(row.substr(0, row.find('>') + 1));
            if (row.rfind("END", 0) == 0) lines.push_back("END");
        }
        return lines;
    }
};

TEST_F(Cc65Directory, OpendirAndReaddirListTheVolumeAndAnImage) {
    std::vector<u8> lister = Program("dirlist");
    ASSERT_GT(lister.size(), 2u);
    ASSERT_TRUE(volume.Put("DIRLIST.PRG", lister));
    ASSERT_TRUE(volume.Put("NOTES.SEQ", std::vector<u8>(300, 'N')));
    ASSERT_TRUE(volume.Put("GAMES.D64", MakeImage({{"dirlist.prg", lister}, {"hello.seq", {'H', 'I'}}})));
    Mount();
    // The header, then each file with its type (_CBM_T_PRG 17, _SEQ 16,
    // _DIR 2) and blocks.
    EXPECT_EQ(List(), (std::vector<std::string>{"<TARN             5 0>", "<DIRLIST 17 " + std::to_string((lister.size() + 253) / 254) + ">",
                                                "<NOTES 16 2>", "<GAMES 2 689>", "END"}));
    EXPECT_EQ(Send("CD:GAMES"), "< 0 OK>");
    EXPECT_EQ(List(), (std::vector<std::string>{"<TOOL DISK        5 0>", "<DIRLIST 17 " + std::to_string((lister.size() + 253) / 254) + ">",
                                                "<HELLO 16 1>", "END"}));
}

}  // namespace
