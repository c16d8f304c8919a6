#include "app/Messages.h"
#include "platform/FileSystem.h"
#include "tests/app/EditorFixture.h"

using namespace fixtures;

namespace {

TStreamData* Data(TTreeNode* Node) {
  return static_cast<TStreamData*>(Node->Data);
}

} // namespace

TEST_F(EditorTest, OpenShowsStreamsGroupedByArchiveInSampleOrder) {
  EXPECT_FALSE(Form->pnlDetails.Visible());
  OpenStandard();
  ASSERT_NE(Form->Pack(), nullptr);
  EXPECT_EQ(Form->Pack()->BasePath, Dir.Path());
  EXPECT_EQ(TreeLines(),
            (std::vector<std::string>{"0:Stream 0", "1:A.big", "2:music\\a1.asf", "2:a2.asf", "1:B.big",
                                      "2:b1.asf", "0:Stream 1", "1:A.big", "2:music\\a1.asf", "0:Stream 2"}));
  // One archive object under two streams; samples under their archive keep their order.
  EXPECT_EQ(Node({0, 0})->Data, Node({1, 0})->Data);
  EXPECT_EQ(Data(Node({0, 0, 1})), Form->Pack()->Streams(0)->Samples(2));
  EXPECT_EQ(Data(Node({0, 1, 0})), Form->Pack()->Streams(0)->Samples(1));
  EXPECT_EQ(ComboItems(Form->cmbDescriptions),
            (std::vector<std::wstring>{L"[No Description]", L"Singer0: Name0", L"Singer1: Name1"}));
  EXPECT_EQ(ComboItems(Form->cmbStreams), (std::vector<std::wstring>{L"A.big", L"B.big", L"E.big"}));
  EXPECT_EQ(Form->treeFiles.Selected(), nullptr);
  EXPECT_FALSE(Form->pnlDetails.Visible());
  EXPECT_FALSE(Form->DefinitionChanged());
  EXPECT_EQ(Dialogs.OpenSeen.at(0).Filter, L"streams.dat|streams.dat|All Files (*.*)|*.*");
  EXPECT_EQ(Form->DefinitionPath(), DefPath);
}

TEST_F(EditorTest, RefusesDefinitionsOutOfStepWithTheirArchives) {
  const std::wstring Corrupt =
      L"The definition file or one of the archives is corrupt. Please restore the default files.";
  struct Case {
    const char* What;
    uint32_t Offset;
    int32_t Archive;
  } Cases[] = {{"offset between two files", BigfDataOffset(A, 0) + 100, 0},
               {"offset past the archive", 100000, 1},
               {"offset of an empty archive", 64, 2},
               {"archive index outside the list", BigfDataOffset(A, 0), 7}};
  for (const Case& C : Cases) {
    WriteFile(DefPath, MakeDefinition(StandardDefinition()));
    OpenStandard();
    Select({0, 0, 0});
    Definition Def = StandardDefinition();
    Def.Streams[1].push_back({C.Offset, C.Archive, -1});
    WriteFile(DefPath, MakeDefinition(Def));
    Boxes.Shown.clear();
    Run([&] { OpenStandard(); });
    ASSERT_EQ(Boxes.Shown.size(), 1u) << C.What;
    EXPECT_EQ(Boxes.Shown[0].Text, Corrupt) << C.What;
    EXPECT_EQ(Boxes.Shown[0].Caption, L"ORVIK Streams Editor");
    EXPECT_EQ(Boxes.Shown[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(Form->Pack(), nullptr) << C.What;
    EXPECT_EQ(Form->treeFiles.RootCount(), 0) << C.What;
    EXPECT_EQ(Form->treeFiles.Selected(), nullptr);
    EXPECT_FALSE(Form->pnlDetails.Visible()) << C.What;
  }
}

TEST_F(EditorTest, AFailedLoadLeavesNoDefinitionOpen) {
  OpenStandard();
  Select({0, 0, 0});
  ASSERT_TRUE(Form->pnlDetails.Visible());
  platform::DeleteFile(Dir.File("B.big"));
  Run([&] { OpenStandard(); });
  ASSERT_EQ(Boxes.Shown.size(), 1u);
  EXPECT_EQ(Boxes.Shown[0].Text,
            W("Cannot open file \"" + Dir.File("B.big") + "\". " + platform::SystemErrorText(2) + "."));
  EXPECT_EQ(Form->Pack(), nullptr);
  EXPECT_EQ(Form->treeFiles.RootCount(), 0);
  EXPECT_EQ(Form->cmbDescriptions.Count() + Form->cmbStreams.Count() + Form->cmbFiles.Count(), 0);
  EXPECT_FALSE(Form->pnlDetails.Visible());

  // A truncated definition file is refused the same way.
  WriteStandardFiles();
  Bytes Whole = ReadFile(DefPath);
  WriteFile(DefPath, Bytes(Whole.begin(), Whole.end() - 5));
  Run([&] { OpenStandard(); });
  EXPECT_EQ(Boxes.Shown.back().Text, L"Stream read error.");
  EXPECT_EQ(Form->Pack(), nullptr);
  EXPECT_EQ(Form->treeFiles.RootCount(), 0);
}

TEST_F(EditorTest, DetailsShowTheSelectedSample) {
  OpenStandard();
  Select({0, 1, 0}); // b1, no description
  EXPECT_TRUE(Form->pnlDetails.Visible());
  EXPECT_FALSE(Form->grpDescription.Visible());
  EXPECT_EQ(Form->cmbDescriptions.ItemIndex(), 0);
  EXPECT_EQ(Form->cmbStreams.ItemIndex(), 1);
  EXPECT_EQ(ComboItems(Form->cmbFiles), (std::vector<std::wstring>{L"b1.asf", L"b2.asf"}));
  EXPECT_EQ(Form->cmbFiles.ItemIndex(), 0);

  Select({0, 0, 1}); // a2, description 1, offset inside the file's data
  EXPECT_TRUE(Form->grpDescription.Visible());
  EXPECT_EQ(Form->cmbDescriptions.ItemIndex(), 2);
  EXPECT_EQ(Form->edtSinger.Text(), L"Singer1");
  EXPECT_EQ(Form->edtAlbum.Text(), L"Album1");
  EXPECT_EQ(Form->edtName.Text(), L"Name1");
  EXPECT_EQ(ComboItems(Form->cmbFiles), (std::vector<std::wstring>{L"a1.asf", L"a2.asf", L"a3.asf"}));
  EXPECT_EQ(Form->cmbFiles.ItemIndex(), 1);
  EXPECT_FALSE(Form->DefinitionChanged()) << "showing a sample counted as an edit";

  Select({0, 0});
  EXPECT_FALSE(Form->pnlDetails.Visible()) << "an archive node shows no details";
}

TEST_F(EditorTest, EditingADescriptionChangesItForEverySampleThatSharesIt) {
  OpenStandard();
  Select({0, 0, 0}); // a1, description 0, shared with stream 1
  int Refills = 0;
  Form->cmbDescriptions.Changed = [&] { ++Refills; };

  Form->edtAlbum.UserType(L"Greatest Hits");
  EXPECT_TRUE(Form->DefinitionChanged());
  EXPECT_EQ(Refills, 0) << "the album is not in the list, which must not be refilled";
  EXPECT_EQ(FieldText(Form->Pack()->Descriptions(0)->Album), "Greatest Hits");

  std::wstring Long(70, L'x');
  Form->edtSinger.UserType(Long);
  EXPECT_GT(Refills, 0);
  EXPECT_EQ(FieldText(Form->Pack()->Descriptions(0)->Singer), std::string(63, 'x'));
  EXPECT_EQ(Form->cmbDescriptions.Items(1), std::wstring(63, L'x') + L": Name0");
  EXPECT_EQ(Form->cmbDescriptions.ItemIndex(), 1) << "the same item stays selected";

  // Text set from code beyond 63 characters is cut when it reaches the model.
  Form->edtName.SetText(std::wstring(64, L'n'));
  EXPECT_EQ(FieldText(Form->Pack()->Descriptions(0)->Name), std::string(63, 'n'));
  EXPECT_EQ(Form->Pack()->Descriptions(0)->Name[63], 0);

  Select({1, 0, 0}); // the sample of stream 1 shares description 0
  EXPECT_EQ(Form->edtSinger.Text(), std::wstring(63, L'x'));
  EXPECT_EQ(Form->edtAlbum.Text(), L"Greatest Hits");
}

TEST_F(EditorTest, ChoosingADescriptionAnArchiveAndAFile) {
  OpenStandard();
  Select({0, 0, 0});
  TStreamData* Sample = Form->SelectedSample();
  Form->cmbDescriptions.UserSelect(0);
  EXPECT_EQ(Sample->DescriptionIndex, -1);
  EXPECT_FALSE(Form->grpDescription.Visible());
  EXPECT_TRUE(Form->DefinitionChanged());
  Form->cmbDescriptions.UserSelect(2);
  EXPECT_EQ(Sample->DescriptionIndex, 1);
  EXPECT_EQ(Form->edtName.Text(), L"Name1");

  // An archive without files only empties the file list.
  Form->cmbStreams.UserSelect(2);
  EXPECT_EQ(Form->cmbFiles.Count(), 0);
  EXPECT_EQ(Sample->ArchiveIndex, 0);
  EXPECT_EQ(Sample->FileOffset, BigfDataOffset(A, 0));

  // An archive with files binds the sample to its first file; the tree follows, the sample stays selected.
  Form->cmbStreams.UserSelect(1);
  EXPECT_EQ(Sample->ArchiveIndex, 1);
  EXPECT_EQ(Sample->FileOffset, BigfDataOffset(B, 0));
  EXPECT_EQ(Form->SelectedSample(), Sample);
  EXPECT_EQ(TreeLines(),
            (std::vector<std::string>{"0:Stream 0", "1:B.big", "2:b1.asf", "2:b1.asf", "1:A.big", "2:a2.asf",
                                      "0:Stream 1", "1:A.big", "2:music\\a1.asf", "0:Stream 2"}));
  EXPECT_EQ(Form->treeFiles.Selected(), Node({0, 0, 0}));

  Form->cmbFiles.UserSelect(1);
  EXPECT_EQ(Sample->FileOffset, BigfDataOffset(B, 1));
  EXPECT_EQ(Form->treeFiles.Selected()->Text, L"b2.asf");
  EXPECT_EQ(Form->cmbFiles.ItemIndex(), 1);
}

TEST_F(EditorTest, AddingAndRemovingDescriptions) {
  OpenStandard();
  Select({0, 1, 0}); // no description
  Input.Accept = false;
  Form->btnDescrAddClick();
  EXPECT_EQ(Form->Pack()->DescriptionCount(), 2);
  Input.Accept = true;
  Form->btnDescrAddClick();
  EXPECT_EQ(Input.Asked.back(), L"New Description|Enter the new song name|New Song");
  ASSERT_EQ(Form->Pack()->DescriptionCount(), 3);
  EXPECT_EQ(Form->cmbDescriptions.Items(3), L" : New Song");
  EXPECT_EQ(Form->cmbDescriptions.ItemIndex(), 0) << "the new description is not assigned";
  Form->ApplicationEventsIdle();
  EXPECT_FALSE(Form->actFileSave.Enabled()) << "adding a description alone enables Save";

  Form->btnDescRemoveClick();
  ASSERT_EQ(Boxes.Shown.size(), 1u);
  EXPECT_EQ(Boxes.Shown[0].Text, L"Cannot remove this description");
  EXPECT_EQ(Boxes.Shown[0].Icon, TMsgIcon::Warning);
  EXPECT_EQ(Boxes.Shown[0].Caption, L"");
  EXPECT_EQ(Form->Pack()->DescriptionCount(), 3);

  Select({0, 0, 0}); // description 0
  Boxes.Answers = {TMsgResult::No};
  Form->btnDescRemoveClick();
  EXPECT_EQ(Boxes.Shown.back().Text, L"Are you sure you want to delete the selected description?");
  EXPECT_EQ(Boxes.Shown.back().Buttons, TMsgButtons::YesNo);
  EXPECT_EQ(Form->Pack()->DescriptionCount(), 3);
  Boxes.Answers = {TMsgResult::Yes};
  Form->btnDescRemoveClick();
  ASSERT_EQ(Form->Pack()->DescriptionCount(), 2);
  TEAMusicStream* S0 = Form->Pack()->Streams(0);
  EXPECT_EQ(S0->Samples(0)->DescriptionIndex, -1);
  EXPECT_EQ(S0->Samples(1)->DescriptionIndex, -1);
  EXPECT_EQ(S0->Samples(2)->DescriptionIndex, 0) << "a later description did not move down";
  EXPECT_EQ(Form->cmbDescriptions.Items(1), L"Singer1: Name1");
  EXPECT_FALSE(Form->grpDescription.Visible());
}

TEST_F(EditorTest, AddingAndDeletingSamples) {
  OpenStandard();
  Select({2}); // the stream without samples
  TEAMusicStream* S2 = Form->Pack()->Streams(2);
  Form->actStreamAddSampleExecute();
  ASSERT_EQ(S2->SampleCount(), 1);
  EXPECT_EQ(S2->Samples(0)->DescriptionIndex, -1);
  EXPECT_EQ(Node({2, 0, 0})->Text, L"music\\a1.asf");
  EXPECT_EQ(Form->treeFiles.Selected(), Node({2})) << "the stream node stays selected";
  EXPECT_TRUE(Form->DefinitionChanged());

  Select({0, 1}); // the B archive node of stream 0
  Form->actStreamAddSampleExecute();
  TEAMusicStream* S0 = Form->Pack()->Streams(0);
  ASSERT_EQ(S0->SampleCount(), 4);
  EXPECT_EQ(S0->Samples(3)->ArchiveIndex, 0);
  EXPECT_EQ(Node({0, 0})->Count(), 3) << "the new sample joins the A group";
  EXPECT_EQ(Form->treeFiles.Selected(), Node({0, 1}));

  Select({0, 0, 1}); // a2
  TStreamData* Kept = S0->Samples(3);
  Boxes.Shown.clear();
  Form->actStreamDeleteSampleExecute();
  EXPECT_TRUE(Boxes.Shown.empty()) << "deleting asked something";
  ASSERT_EQ(S0->SampleCount(), 3);
  EXPECT_EQ(S0->Samples(1)->ArchiveIndex, 1);
  EXPECT_EQ(S0->Samples(2), Kept);
  EXPECT_EQ(Form->treeFiles.Selected(), nullptr);
  EXPECT_FALSE(Form->pnlDetails.Visible());

  // No archive to take the first file from: the list error, nothing added.
  WriteFile(DefPath, MakeDefinition({{}, {}, {{}}}));
  Boxes.Answers = {TMsgResult::No};
  OpenStandard();
  Select({0});
  Boxes.Shown.clear();
  Run([&] { Form->actStreamAddSampleExecute(); });
  ASSERT_EQ(Boxes.Shown.size(), 1u);
  EXPECT_EQ(Boxes.Shown[0].Text, L"List index out of bounds (0)");
  EXPECT_EQ(Form->Pack()->Streams(0)->SampleCount(), 0);
}

TEST_F(EditorTest, IdleEnablesActionsFromTheSelectionAndHintsReachTheStatusBar) {
  OpenStandard();
  auto States = [&] {
    Form->ApplicationEventsIdle();
    std::string S;
    for (TActionModel* Action : {&Form->actSamplePreview, &Form->actSampleImport, &Form->actSampleExport,
                                 &Form->actStreamDeleteSample, &Form->actStreamAddSample, &Form->actFileSave,
                                 &Form->actFileOpen, &Form->actHelpContents})
      S += Action->Enabled() ? '1' : '0';
    return S;
  };
  EXPECT_EQ(States(), "00000010");
  Select({0});
  EXPECT_EQ(States(), "00001010");
  Select({0, 0});
  EXPECT_EQ(States(), "00001010");
  Select({0, 0, 0});
  EXPECT_EQ(States(), "11111010");
  Form->edtAlbum.UserType(L"x");
  EXPECT_EQ(States(), "11111110");
  // Idle runs between all messages: with nothing changed it leaves the actions, and so their menu items
  // and buttons, alone.
  int Notified = 0;
  for (TActionModel* Action : {&Form->actEditUndo, &Form->actEditRedo, &Form->actFileSave})
    Action->Changed = [&] { ++Notified; };
  Form->ApplicationEventsIdle();
  EXPECT_EQ(Notified, 0);
  EXPECT_EQ(Form->actEditUndo.Caption(), L"Undo Typing in Album");
  // Typed back to where it began (a text box's own undo), the step is gone, and nothing is unsaved.
  Form->edtAlbum.UserType(L"Album0xyz");
  Form->edtAlbum.UserType(L"Album0");
  EXPECT_EQ(States(), "11111010");
  EXPECT_FALSE(Form->actEditUndo.Enabled());

  Form->ApplicationEventsHint(L"Remove description|Deelete the selected description");
  EXPECT_EQ(Form->StatusBar.Text(), L"Deelete the selected description");
  Form->ApplicationEventsHint(L"Remove the selected file from the archive");
  EXPECT_EQ(Form->StatusBar.Text(), L"Remove the selected file from the archive");
  Form->ApplicationEventsHint(L"a|b|c");
  EXPECT_EQ(Form->StatusBar.Text(), L"b|c");
  // A message shows again once the hint that covered it goes, unless a newer one came meanwhile.
  Form->ApplicationEventsHint(L"");
  Form->StatusBar.SetText(L"Soundtrack pack applied");
  Form->ApplicationEventsHint(L"Save|Save changes");
  EXPECT_EQ(Form->StatusBar.Text(), L"Save changes");
  Form->ApplicationEventsHint(L"");
  EXPECT_EQ(Form->StatusBar.Text(), L"Soundtrack pack applied");
  Form->ApplicationEventsHint(L"Save|Save changes");
  Form->StatusBar.SetText(L"Imported 2 of 2 file(s).");
  Form->ApplicationEventsHint(L"");
  EXPECT_EQ(Form->StatusBar.Text(), L"Imported 2 of 2 file(s).");

  Run([&] { Form->btnRemoveFileClick(); });
  EXPECT_EQ(Boxes.Shown.back().Text, L"Not yet implemented.");
}

TEST_F(EditorTest, CloseQueryAsksToSaveChanges) {
  OpenStandard();
  EXPECT_TRUE(Form->TntFormCloseQuery()) << "an unchanged definition asks nothing";
  EXPECT_TRUE(Boxes.Shown.empty());

  OpenStandard();
  Select({0, 0, 0});
  Form->edtName.UserType(L"Renamed");
  Bytes Before = ReadFile(DefPath);
  Boxes.Answers = {TMsgResult::Cancel};
  EXPECT_FALSE(Form->TntFormCloseQuery());
  EXPECT_EQ(Boxes.Shown.back().Text, L"Do you want to save changes?");
  EXPECT_EQ(Boxes.Shown.back().Buttons, TMsgButtons::YesNoCancel);
  EXPECT_EQ(Boxes.Shown.back().Icon, TMsgIcon::Question);
  ASSERT_NE(Form->Pack(), nullptr);
  EXPECT_TRUE(Form->DefinitionChanged());

  Boxes.Answers = {TMsgResult::No};
  EXPECT_TRUE(Form->TntFormCloseQuery());
  EXPECT_EQ(Form->Pack(), nullptr);
  EXPECT_EQ(ReadFile(DefPath), Before);

  OpenStandard();
  Select({0, 0, 0});
  Form->edtName.UserType(L"Renamed");
  Boxes.Answers = {TMsgResult::Yes, TMsgResult::No};
  EXPECT_TRUE(Form->TntFormCloseQuery());
  EXPECT_EQ(Boxes.Shown.back().Text,
            L"Do you want to update ORVIK preload directory with the new definition file?");
  EXPECT_EQ(Form->Pack(), nullptr);
  OpenStandard();
  EXPECT_EQ(FieldText(Form->Pack()->Descriptions(0)->Name), "Renamed");
}

TEST_F(EditorTest, OpeningAnotherDefinitionSavesTheOldOneWhereItCameFrom) {
  std::string Other = Dir.File("other.dat");
  WriteFile(Other, MakeDefinition(StandardDefinition()));
  Bytes OtherBefore = ReadFile(Other);
  OpenStandard();
  Select({0, 0, 0});
  Form->edtName.UserType(L"Changed here");
  Boxes.Answers = {TMsgResult::Yes, TMsgResult::No};
  Open(Other);
  EXPECT_EQ(ReadFile(Other), OtherBefore) << "the old definition was saved over the new one";
  EXPECT_EQ(FieldText(Form->Pack()->Descriptions(0)->Name), "Name0");
  OpenStandard();
  EXPECT_EQ(FieldText(Form->Pack()->Descriptions(0)->Name), "Changed here");
  // No node or item may point into a closed definition: a reopened one could match a freed object.
  Select({0, 0, 0});
  ASSERT_TRUE(Form->CloseDefinition());
  EXPECT_TRUE(Form->treeFiles.AllNodes().empty());
  EXPECT_EQ(Form->cmbDescriptions.Count() + Form->cmbStreams.Count() + Form->cmbFiles.Count(), 0);
  EXPECT_EQ(Form->SelectedSample(), nullptr);
  EXPECT_FALSE(Form->pnlDetails.Visible());
}

TEST_F(EditorTest, ASampleWithAnUnknownDescriptionReportsAnErrorAndTheWindowGoesOn) {
  Definition Def = StandardDefinition();
  Def.Streams[1][0].DescriptionIndex = 5;
  WriteFile(DefPath, MakeDefinition(Def));
  OpenStandard();
  Run([&] { Select({1, 0, 0}); });
  ASSERT_EQ(Boxes.Shown.size(), 1u);
  EXPECT_EQ(Boxes.Shown[0].Text, L"List index out of bounds (5)");
  // A rebuild selects the sample again and reports the same error instead of ending the program.
  Run([&] { Form->actStreamAddSampleExecute(); });
  EXPECT_EQ(Boxes.Shown.size(), 2u);
  EXPECT_EQ(Form->Pack()->Streams(1)->SampleCount(), 2);
  Run([&] { Form->edtSinger.UserType(L"ignored"); });
  Select({0, 0, 0});
  EXPECT_EQ(Form->edtSinger.Text(), L"Singer0") << "the details stopped following the selection";
}
