# sources of view/
