// A job the printer received, handed to the user's program: written whole into the user's
// jobs folder (a folder of its own, named by the time and the job's number, holding the PDF
// named by the job's title and the job's attributes), then the program is told, or started
// when it does not run. Nothing half-written is ever seen: the job's folder takes its name
// only when complete.
#pragma once

#include <functional>
#include <string>

struct ReceivedJob
{
    int id = 0;
    std::string title;     // "job-name"
    std::string user;      // who printed it
    std::string format;    // as received: application/pdf, image/jpeg, image/pwg-raster
    std::string sides, media;
    int copies = 1;
};

// The job's file name: its title, without what no file name may hold, ".pdf" after it;
// "Print job N.pdf" for a job without a title.
std::string jobFileName(const ReceivedJob &job);

// Writes the job into `jobsFolder`: `write` puts the PDF's bytes into the file it is given
// and says whether it could. Returns the PDF's path, or empty with `error` set (a full disk:
// nothing is left).
std::string keepJob(const std::string &jobsFolder, const ReceivedJob &job,
                    const std::function<bool(std::FILE *file)> &write, std::string &error);

// Tells the running program that jobs wait (its socket); false where none listens.
bool tellProgram(const std::string &socket);
// Starts the program (beside this one, else on PATH), detached, in this session.
void startProgram();
