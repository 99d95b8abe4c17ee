// The word book library; its classes arrive file by file.
