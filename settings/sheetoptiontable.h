// Every option of the sheets window, one row each, the one place that names it:
//   X(name in the code, member of SheetOptions, key in the settings file, default,
//     control in the sheets window, the tool's switch it gives, the control's words)
// The settings file's keys and defaults, the sheet options' members, the window's bindings
// and the words the window uses for the tool's switch are all made from these rows.
#pragma once

#define PLYJOIN_SHEET_OPTIONS(X)                                                                                   \
    /* Binding: the booklet, its signatures, creep and reading direction. */                                      \
    X(Booklet, booklet, "Booklet", "0", checkBox_Booklet, "-booklet", "Booklet")                                   \
    X(Signature, signature, "Signature", "0", spinBox_Signature, "-signature", "Sheets per signature")             \
    X(Creep, creep, "Creep", "0", lineEdit_Creep, "-creep", "Creep")                                               \
    X(CreepUnit, creepUnit, "CreepUnit", "mm", comboBox_CreepUnit, "-creep", "Creep")                              \
    X(RightToLeft, rightToLeft, "RightToLeft", "0", checkBox_RightToLeft, "-rtl", "Right to left")                 \
    /* Marks. */                                                                                                   \
    X(CropMarks, cropMarks, "CropMarks", "0", checkBox_CropMarks, "-cropmarks", "Crop marks")                      \
    X(CropMarksLength, cropMarksLength, "CropMarksLength", "5", lineEdit_CropMarks, "-cropmarks", "Crop marks")    \
    X(CropMarksUnit, cropMarksUnit, "CropMarksUnit", "mm", comboBox_CropMarksUnit, "-cropmarks", "Crop marks")     \
    X(Frame, frame, "Frame", "0", checkBox_Frame, "-frame", "Frame")                                               \
    X(FrameWidth, frameWidth, "FrameWidth", "0.5", lineEdit_Frame, "-frame", "Frame")                              \
    /* Both sides and the print room: "off", "short edge" or "long edge", the edge the      */                    \
    /* printer turns the sheet on.                                                          */                    \
    X(BothSides, bothSides, "BothSides", "off", comboBox_BothSides, "-duplex", "Both sides")                       \
    X(BackShiftX, backShiftX, "BackShiftX", "0", lineEdit_BackShiftX, "-backshift", "Back shift")                  \
    X(BackShiftY, backShiftY, "BackShiftY", "0", lineEdit_BackShiftY, "-backshift", "Back shift")                  \
    X(BackShiftUnit, backShiftUnit, "BackShiftUnit", "mm", comboBox_BackShiftUnit, "-backshift", "Back shift")     \
    X(Stack, stack, "Stack", "0", checkBox_Stack, "-stack", "Cut and stack")                                       \
    X(Repeat, repeat, "Repeat", "0", checkBox_Repeat, "-repeat", "Step and repeat")                                \
    X(Bleed, bleed, "Bleed", "0", checkBox_Bleed, "-bleed", "Bleed")                                               \
    X(BleedLength, bleedLength, "BleedLength", "3", lineEdit_Bleed, "-bleed", "Bleed")                             \
    X(BleedUnit, bleedUnit, "BleedUnit", "mm", comboBox_BleedUnit, "-bleed", "Bleed")                              \
    X(Slug, slug, "Slug", "0", checkBox_Slug, "-slug", "Slug line")                                                \
    /* "fit", "actual size" or "shrink only". */                                                                   \
    X(Fit, fit, "Fit", "fit", comboBox_Fit, "-fit", "Fit")                                                         \
    X(AutoRotate, autoRotate, "AutoRotate", "0", checkBox_AutoRotate, "-autorotate", "Turn pages to fit")          \
    /* How often a sheet is folded ("one fold", "quarto" or "octavo"), the binder's marks. */                      \
    X(Fold, fold, "Fold", "one fold", comboBox_Fold, "-fold", "Fold")                                              \
    X(SpineMarks, spineMarks, "SpineMarks", "0", checkBox_SpineMarks, "-spinemarks", "Spine marks")                \
    X(FoldMarks, foldMarks, "FoldMarks", "0", checkBox_FoldMarks, "-foldmarks", "Fold marks")                      \
    X(Sewing, sewing, "Sewing", "0", spinBox_Sewing, "-sewing", "Sewing stations")                                 \
    /* The way back and the way up: sheets cut apart, the order of a scan's sides ("front, */                    \
    /* back", "fronts, then backs" or "fronts, then backs reversed"); a poster, its size    */                    \
    /* ("A2", "3 x 2 sheets"), its overlap and overview; blank pages or tiles left out.      */                    \
    X(Cut, cut, "Cut", "0", checkBox_Cut, "-cut", "Cut apart")                                                     \
    X(Scan, scan, "Scan", "front, back", comboBox_Scan, "-scan", "Scanned")                                        \
    X(Poster, poster, "Poster", "0", checkBox_Poster, "-poster", "Poster")                                         \
    X(PosterSize, posterSize, "PosterSize", "A2", comboBox_PosterSize, "-poster", "Poster")                        \
    X(Overlap, overlap, "Overlap", "10", lineEdit_Overlap, "-overlap", "Overlap")                                  \
    X(OverlapUnit, overlapUnit, "OverlapUnit", "mm", comboBox_OverlapUnit, "-overlap", "Overlap")                  \
    X(Overview, overview, "Overview", "0", checkBox_Overview, "-overview", "Overview sheet")                        \
    X(DropBlank, dropBlank, "DropBlank", "0", checkBox_DropBlank, "-dropblank", "Leave out blank pages")
