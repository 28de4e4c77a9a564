// korvane-list from outside: its printed contract on a folder laid out here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "samples/jpeg_samples.h"
#include "tests/support/run_tool.h"
#include "tests/support/temp_dir.h"

namespace {

class ListTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.MakeFolder("root");
    dir.MakeFolder("root/Trips");
    dir.MakeFolder("root/Trips/.cache");
    dir.MakeFolder("root/Trips/2005.summer");
    JpegSampleOptions o;
    o.width = 108;
    o.height = 54;
    ASSERT_EQ(WriteJpegSample(dir.At("root/Trips/b.jpg").c_str(), o), 1);
    o.width = 30;
    o.height = 60;
    ASSERT_EQ(WriteJpegSample(dir.At("root/Trips/A.JPEG").c_str(), o), 1);
    dir.Write("root/Trips/broken.jpg", "not a picture");
    dir.Write("root/Trips/caf\xc3\xa9 au lait.gif", "GIF89a");
    dir.Write("root/Trips/notes.txt", "");
    dir.MakeFolder("root/empty");
  }
  ToolRun List(const std::vector<std::string>& args) { return RunTool("korvane-list", args, dir.path()); }
  TempDir dir;
};

TEST_F(ListTool, PrintsTheListAndTheAnnouncements) {
  ToolRun run = List({"--root", dir.At("root"), "--thumbnails", "\\Trips"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Lines(run.out), (std::vector<std::string>{
                                "result 1 generation 2 count 6",
                                "0\tfolder\t..\t",
                                "1\tfolder\t2005.summer\t2005.summer",
                                "2\tpicture\tA.JPEG\tA",
                                "3\tpicture\tb.jpg\tb",
                                "4\tpicture\tbroken.jpg\tbroken",
                                "5\tpicture\tcaf\xc3\xa9 au lait.gif\tcaf\xc3\xa9 au lait",
                                "ready\t2\t15x30",
                                "ready\t3\t54x27",
                                "done",
                            }));
}

TEST_F(ListTool, HostPathsAndTheRoot) {
  // A host path inside the root names the same folder; without --thumbnails
  // nothing follows the list.
  ToolRun run = List({"--root", dir.At("root"), dir.At("root/Trips")});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(Lines(run.out).size(), 7u);
  run = List({"--root", dir.At("root"), ""});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(Lines(run.out), (std::vector<std::string>{"result 1 generation 2 count 2",
                                                      "0\tfolder\tempty\tempty",
                                                      "1\tfolder\tTrips\tTrips"}));
}

TEST_F(ListTool, FoldersThatCannotBeListedAndBadUsage) {
  ToolRun run = List({"--root", dir.At("root"), "--thumbnails", "\\empty"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(Lines(run.out),
            (std::vector<std::string>{"result 0 generation 2 count 1", "0\tfolder\t..\t", "done"}));
  EXPECT_EQ(List({"--root", dir.At("root"), "\\missing"}).exitCode, 1);
  EXPECT_EQ(List({}).exitCode, 2);
  EXPECT_EQ(List({"--bogus", "\\Trips"}).exitCode, 2);
  EXPECT_EQ(List({"--root", dir.At("nowhere"), "\\Trips"}).exitCode, 2);
  EXPECT_EQ(List({"--root", dir.At("root"), "/somewhere/else"}).exitCode, 2);
}

}  // namespace
