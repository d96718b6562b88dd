<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:variable name="fileExt" select="'txt'"/>
  <xsl:template match="/"/>
</xsl:stylesheet>
