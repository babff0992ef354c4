// The character set a link uses when nothing else names one. Script strings
// hold bytes in the code the game writes its texts in: on Windows the
// process's ANSI code page, on Linux UTF-8 (the client's own default).
#pragma once

namespace cvx::database {

// The server's character set for a Windows ANSI code page (1252: "latin1",
// the server's latin1 being code page 1252; 932: "cp932"; 65001: "utf8mb4",
// ...); null for a code page the server has no character set for.
const char* character_set_of_code_page(unsigned code_page);

// The character set of the process's code page (Windows); null, the
// client's default, where there is none to follow (Linux).
const char* code_page_character_set();

}  // namespace cvx::database
