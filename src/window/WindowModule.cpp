// The main window library; its classes arrive file by file.
