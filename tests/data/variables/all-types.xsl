<?xml version="1.0" encoding="ISO-8859-1"?>
<!-- Bytes that are not UTF-8 must survive a rewrite: été -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:variable name="userField1" select="'delimiter|Field delimiter|STRINGMENU|3|Comma|Semicolon|Tab'"/>
  <xsl:variable name="delimiter" select="'Comma'"/>
  <xsl:variable name="userField2" select="'decimals|Decimal places|INTEGER|0|6'"/>
  <xsl:variable name="decimals" select="3"/>
  <xsl:variable name="userField3" select="'scale|Scale factor|DOUBLE|0.5|2'"/>
  <xsl:variable name="scale" select="1.00"/>
  <xsl:variable name="userField4" select="'title|Report title|STRING'"/>
  <xsl:variable name="title" select="'Control survey'"/>
  <xsl:variable name="userField5" select="'codes|Code list|FILENAME|.csv'"/>
  <xsl:variable name="codes" select="'codes.csv'"/>
  <xsl:variable name="fileExt" select="'txt'"/>
  <xsl:template match="/">
    <xsl:value-of select="concat($delimiter, '|', $decimals, '|', $scale, '|', $title, '|', $codes)"/>
  </xsl:template>
</xsl:stylesheet>