// Identifiers shared by the resource scripts and the code that loads the resources.
#pragma once

// The program's icon: the program file, the window and its task-bar button.
#define IDI_PROGRAM 1
// The logo drawn by Image1, stored as a PNG file under its own resource type.
#define IDR_LOGO_NAME "LOGO"
#define IDR_LOGO_TYPE "PNG"
