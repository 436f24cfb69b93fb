#pragma once

#include <string>
#include <vector>

// One step of a scripted child. The script is UTF-8 text, one step per line; blank lines
// and lines starting with '#' are skipped. Text arguments take the escapes \r, \n, \t,
// \xHH (one raw byte) and a doubled backslash for one backslash.
//
//   cmdline PATH      write this program's command line (UTF-16LE, no BOM) to PATH
//   cwd PATH          write this program's current directory, TEMP and TMP (a line each, UTF-16LE,
//                     no BOM) to PATH
//   out TEXT          queue TEXT and a line feed for standard output
//   raw TEXT          queue TEXT alone
//   cp PAGE TEXT      queue TEXT converted to code page PAGE, and a line feed
//   fill N [CHAR]     queue N bytes of CHAR (default 'x')
//   flush             write the queue with one WriteFile call
//   sleep MS          pause
//   stderr N          write N bytes to standard error
//   spam N            write at least N bytes of whole ignorable lines to standard output
//   closeout          flush, then close standard output (the reader sees its end)
//   spawn LINE        start LINE (taken as is) with this program's handles inherited
//   readin            read standard input to its end (fails the script when reading errs
//                     otherwise than at the end)
//   stamp PATH        append "<program name> <system time in 100 ns units>\n" to PATH
//   stage PATH        write "staged.bin" into TEMP and ask for it to be moved to PATH at the
//                     next restart (MoveFileEx, delay until reboot), as packages do for files in use
//   exit CODE         flush and end with CODE (0xC0000005 ends like an access violation)
// At the end of the script the queue is flushed and the program ends with 0.
struct ChildStep {
    enum class Kind {
        CommandLine,
        CurrentDirectory,
        Queue,
        Flush,
        CloseOutput,
        Sleep,
        StdErr,
        Spam,
        Spawn,
        ReadInput,
        Stamp,
        Stage,
        Exit
    };
    Kind kind = Kind::Flush;
    // Queue: the bytes; CommandLine, CurrentDirectory, Stamp, Stage: the path; Spawn: the command
    // line (UTF-8)
    std::string bytes;
    unsigned long number = 0;
};

// Parses a script; a malformed line is reported in error and stops the parse.
std::vector<ChildStep> ParseChildScript(const std::string& script, std::string& error);

// Turns the escapes of a text argument into bytes.
std::string UnescapeText(const std::string& text);
