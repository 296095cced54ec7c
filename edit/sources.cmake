# sources of edit/
