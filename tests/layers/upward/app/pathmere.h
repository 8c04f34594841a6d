// stands for the program's main window header
