// CShellManager: the shell integration object that start-up code creates and deletes around the
// main dialog. Nothing in the program uses shell services, so it holds nothing.
#pragma once

class CShellManager {};
